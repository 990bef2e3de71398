#include "app/zip_deflate_source.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <thread>

#include "foundation/platform/file.h"
#include "foundation/platform/file_identity.h"

namespace {

// Bit positions count from the stream's first byte, least significant bit
// first, as deflate packs them.
void ClearBit(std::vector<uint8_t>* bytes, uint64_t bit) {
  (*bytes)[bit / 8] &= static_cast<uint8_t>(~(1u << (bit % 8)));
}

// One chunk on its way: its input, then its deflated form.
struct Chunk {
  std::vector<char> in;
  std::vector<uint8_t> out;
  bool last = false;  // the file's final chunk
  bool ok = false;
};

// Deflates chunk c with compressor; a chunk that is not the file's last is
// made a non-final part of the stream.
void Deflate(libdeflate_compressor* compressor, Chunk* c) {
  c->out.resize(libdeflate_deflate_compress_bound(compressor, c->in.size()));
  const size_t made = libdeflate_deflate_compress(compressor, c->in.data(), c->in.size(),
                                                  c->out.data(), c->out.size());
  c->out.resize(made);
  c->ok = made > 0 && (c->last || MakeDeflateChunkNonFinal(&c->out));
}

struct DeflateState {
  std::string path;
  int32_t level = 9;
  uint64_t size = 0;  // of the file, when the source was made
  // Its modification time: the member's time, and with traditional
  // encryption part of the password check, which libzip computes from the
  // stat before the data while the directory entry takes it after.
  time_t mtime = 0;
  std::unique_ptr<pv::File> file;
  // Two chunks are deflated at a time, one on a second thread.
  libdeflate_compressor* compressors[2] = {nullptr, nullptr};
  Chunk chunks[2];
  uint64_t offset = 0;     // input bytes read so far
  bool last_done = false;  // the final chunk is deflated
  std::vector<uint8_t> out;
  size_t out_pos = 0;
  uint32_t crc = 0;
  uint64_t compressed = 0;
  zip_error_t error;

  ~DeflateState() {
    for (libdeflate_compressor* c : compressors) {
      if (c != nullptr) libdeflate_free_compressor(c);
    }
    zip_error_fini(&error);
  }

  zip_int64_t Fail(int zip_error) {
    zip_error_set(&error, zip_error, 0);
    return -1;
  }

  // Reads the next chunk of input into c. False with error set.
  bool ReadChunk(Chunk* c) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kDeflateChunk, size - offset));
    c->in.resize(n);
    size_t done = 0;
    while (done < n) {
      size_t got = 0;
      if (!file->ReadAt(offset + done, n - done, c->in.data() + done, &got).ok() || got == 0) {
        Fail(ZIP_ER_READ);  // unreadable, or shorter than when the source was made
        return false;
      }
      done += got;
    }
    crc = libdeflate_crc32(crc, c->in.data(), n);
    offset += n;
    c->last = offset == size;
    return true;
  }

  // Deflates the next one or two chunks into out. False with error set.
  bool NextChunks() {
    if (!ReadChunk(&chunks[0])) return false;
    const bool two = !chunks[0].last;
    if (two && !ReadChunk(&chunks[1])) return false;
    if (two) {
      std::thread second(Deflate, compressors[1], &chunks[1]);
      Deflate(compressors[0], &chunks[0]);
      second.join();
    } else {
      Deflate(compressors[0], &chunks[0]);
    }
    out.clear();
    out_pos = 0;
    for (int i = 0; i < (two ? 2 : 1); ++i) {
      if (!chunks[i].ok) {
        Fail(ZIP_ER_INTERNAL);
        return false;
      }
      out.insert(out.end(), chunks[i].out.begin(), chunks[i].out.end());
      last_done = chunks[i].last;
    }
    compressed += out.size();
    return true;
  }

  zip_int64_t Read(void* data, zip_uint64_t len) {
    while (out_pos == out.size()) {
      if (last_done) return 0;
      if (!NextChunks()) return -1;
    }
    const size_t n = static_cast<size_t>(std::min<zip_uint64_t>(len, out.size() - out_pos));
    std::memcpy(data, out.data() + out_pos, n);
    out_pos += n;
    return static_cast<zip_int64_t>(n);
  }

  zip_int64_t Open() {
    if (!pv::OpenFile(path, pv::OpenOptions(), &file).ok()) return Fail(ZIP_ER_OPEN);
    for (libdeflate_compressor*& c : compressors) {
      if (c == nullptr && (c = libdeflate_alloc_compressor(level)) == nullptr) return Fail(ZIP_ER_MEMORY);
    }
    offset = 0;
    last_done = false;
    out.clear();
    out_pos = 0;
    crc = 0;
    compressed = 0;
    return 0;
  }

  // The sizes and CRC are known once everything was read.
  zip_int64_t Stat(void* data, zip_uint64_t len) {
    if (len < sizeof(zip_stat_t)) return Fail(ZIP_ER_INVAL);
    auto* st = static_cast<zip_stat_t*>(data);
    zip_stat_init(st);
    st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME | ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD;
    st->size = size;
    st->mtime = mtime;
    st->comp_method = ZIP_CM_DEFLATE;
    st->encryption_method = ZIP_EM_NONE;
    if (last_done && out_pos == out.size()) {
      st->valid |= ZIP_STAT_CRC | ZIP_STAT_COMP_SIZE;
      st->crc = crc;
      st->comp_size = compressed;
    }
    return sizeof(zip_stat_t);
  }
};

zip_int64_t Callback(void* user, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  auto* state = static_cast<DeflateState*>(user);
  switch (cmd) {
    case ZIP_SOURCE_OPEN:
      return state->Open();
    case ZIP_SOURCE_READ:
      return state->Read(data, len);
    case ZIP_SOURCE_CLOSE:
      state->file.reset();  // read only: nothing to lose
      return 0;
    case ZIP_SOURCE_STAT:
      return state->Stat(data, len);
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&state->error, data, len);
    case ZIP_SOURCE_FREE:
      delete state;
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                            ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
      return state->Fail(ZIP_ER_OPNOTSUPP);
  }
}

}  // namespace

bool MakeDeflateChunkNonFinal(std::vector<uint8_t>* chunk) {
  z_stream zs;
  std::memset(&zs, 0, sizeof zs);
  if (inflateInit2(&zs, -15) != Z_OK) return false;
  const uint64_t size = chunk->size();
  zs.next_in = chunk->data();
  zs.avail_in = static_cast<uInt>(size);
  uint8_t sink[1 << 15];  // decoded bytes are only counted past
  // Inflate with Z_BLOCK stops after every block: before the next block's
  // header (the last such stop is the final block's header), and after the
  // final block, where the unused bits of the last byte are still counted
  // (the next call drops them on the way to the stream's end).
  uint64_t final_header = 0;
  uint32_t pad = 8;  // 8: the final block's end not seen
  int rc;
  do {
    zs.next_out = sink;
    zs.avail_out = sizeof sink;
    rc = inflate(&zs, Z_BLOCK);
    if (rc == Z_OK && (zs.data_type & 128) != 0) {
      if ((zs.data_type & 64) != 0) {
        pad = static_cast<uint32_t>(zs.data_type & 7);
      } else {
        final_header = (size - zs.avail_in) * 8 - static_cast<uint64_t>(zs.data_type & 7);
      }
    }
  } while (rc == Z_OK);
  const bool whole = rc == Z_STREAM_END && zs.avail_in == 0 && pad < 8;
  inflateEnd(&zs);
  if (!whole) return false;
  ClearBit(chunk, final_header);
  // An empty stored block: three zero header bits (not final, stored), zero
  // bits to the byte boundary, LEN 0 and NLEN 0xFFFF. The last byte's unused
  // bits are zero, so they hold the header when there are three of them.
  if (pad < 3) chunk->push_back(0);
  for (uint8_t b : {0x00, 0x00, 0xFF, 0xFF}) chunk->push_back(b);
  return true;
}

zip_source_t* DeflatedFileSource(zip_t* za, const std::string& path, int32_t level) {
  pv::FileIdentity id;
  if (!pv::GetFileIdentity(path, &id).ok()) {
    zip_error_set(zip_get_error(za), ZIP_ER_OPEN, 0);
    return nullptr;
  }
  auto* state = new DeflateState;
  zip_error_init(&state->error);
  state->path = path;
  state->level = level;
  state->size = id.size;
  state->mtime = static_cast<time_t>(id.mtime_ns / 1000000000);
  zip_source_t* source = zip_source_function(za, Callback, state);
  if (source == nullptr) delete state;
  return source;
}
