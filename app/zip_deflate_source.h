// A libzip source that hands libzip a file already deflated, so that the
// member's deflate runs in libdeflate (several times faster than zlib at
// level 9 on plant tables, and no larger) while libzip still writes the
// archive and applies the encryption.
//
// libzip takes data from a source as compressed when the source's stat
// reports a compression method other than store: it then neither
// decompresses nor recompresses, takes the CRC and the uncompressed size
// from the source's stat after the data was read, and encrypts the
// compressed stream as it would its own.
//
// Memory stays bounded: the file is deflated in independent chunks of
// kDeflateChunk bytes, joined into one deflate stream the way a sync flush
// joins them: every chunk but the last has its final-block bit cleared and
// ends with an empty stored block, which brings the stream back to a byte
// boundary. The final-block bit and the stream's last bit are found by
// walking each chunk's block headers with zlib's inflate (Z_BLOCK), which
// also proves each chunk decodes. Two chunks are deflated at a time, the
// second on a thread of its own; about 5 times kDeflateChunk in buffers.
#ifndef PV_APP_ZIP_DEFLATE_SOURCE_H_
#define PV_APP_ZIP_DEFLATE_SOURCE_H_

#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Input bytes deflated at a time.
constexpr size_t kDeflateChunk = 4u << 20;

// The source for the file at path (resolved), deflated at level 1 to 9;
// null with za's error set when it cannot be made. The file is opened when
// libzip opens the source; a file that cannot be read fails zip_close.
zip_source_t* DeflatedFileSource(zip_t* za, const std::string& path, int32_t level);

// Turns one chunk's complete raw deflate stream into a non-final part of a
// longer stream (see above). False when the chunk does not decode.
bool MakeDeflateChunkNonFinal(std::vector<uint8_t>* chunk);

#endif  // PV_APP_ZIP_DEFLATE_SOURCE_H_
