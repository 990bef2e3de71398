// The day manifest: a text file beside each day archive that makes changes
// to the archive evident. For "<dir>/20240101.zip" it is
// "<dir>/20240101.manifest":
//
//   Packvault day manifest 1
//   previous 20231231.manifest <sha256 of that file's bytes>    (or "previous none")
//   member <sha256> <size> <records> <member name>              one per member, archive order
//
// Lines end with LF. <sha256> is 64 lower-case hex digits of the member's
// uncompressed (decrypted) bytes, <size> their count, <records> the record
// count of the member's dBASE header. "previous" names the latest manifest
// of the same directory whose name sorts before this one's (for day archives
// the previous archived day), so the days of one table kind form a chain:
// changing or removing a day's manifest breaks the next day's link.
//
// The ZIP adapter rewrites the manifest after every successful update of the
// archive, under the archive's directory mutex, atomically (temporary file,
// sync, rename, directory sync). Entries of members the update did not touch
// are carried over from the old manifest rather than recomputed, so a member
// changed behind the program's back keeps its old digest and stays evident;
// only the member just written, and members the old manifest lacks (or all of
// them when it is missing or unreadable), are read back from the archive.
#ifndef PV_APP_ARCHIVE_MANIFEST_H_
#define PV_APP_ARCHIVE_MANIFEST_H_

#include <zip.h>

#include <cstdint>
#include <string>
#include <vector>

struct ManifestEntry {
  std::string name;
  std::string sha256;
  uint64_t size = 0;
  uint32_t records = 0;
};

struct Manifest {
  std::string previous;         // file name of the previous manifest, "" for none
  std::string previous_sha256;  // its digest, "" for none
  std::vector<ManifestEntry> members;

  // The entry of a member, or null.
  const ManifestEntry* Find(const std::string& name) const;
};

// "<archive without .zip>.manifest".
std::string ManifestPathFor(const std::string& archive);
// False, with the line number and what is wrong in *error, for text that is
// not a manifest of the format above.
bool ParseManifest(const std::string& text, Manifest* manifest, std::string* error);
std::string FormatManifest(const Manifest& manifest);

// The latest "*.manifest" in dir (with trailing separator, or "") whose name
// sorts before own_name; "" when there is none.
std::string PreviousManifestName(const std::string& dir, const std::string& own_name);

// Reads member index of an open archive whole, decrypting with password (""
// for none). 0, or the libzip error code (ZIP_ER_WRONGPASSWD, ZIP_ER_CRC,
// ZIP_ER_NOPASSWD, ...); a member whose byte count differs from its
// directory entry is ZIP_ER_INCONS.
int ReadArchiveMember(zip_t* archive, zip_uint64_t index, const std::string& password,
                      std::string* bytes);
// Digest, size and header record count of a member's bytes.
ManifestEntry DescribeMember(const std::string& name, const std::string& bytes);
// The same entry read from member index of an open archive in chunks, so
// memory stays at one chunk whatever the member's size; results as
// ReadArchiveMember; a digest that cannot be computed leaves sha256 "".
int DescribeArchiveMember(zip_t* archive, zip_uint64_t index, const std::string& password,
                          const std::string& name, ManifestEntry* entry);

// Rewrites the manifest of the archive at archive (a resolved path in dir)
// after an update that wrote changed_member ("" when the update only removed
// one). A missing archive (its last member removed) takes its manifest with
// it. False, with what failed in *error.
bool UpdateArchiveManifest(const std::string& archive, const std::string& dir,
                           const std::string& password, const std::string& changed_member,
                           std::string* error);

#endif  // PV_APP_ARCHIVE_MANIFEST_H_
