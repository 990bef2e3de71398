// The ZIP adapter, checked with independent tools: 7z opens and tests the
// AES archives, unzip the traditionally encrypted and plain ones.
#include "app/zip_adapter.h"

#include <libdeflate.h>

#include <future>
#include <thread>

#include "app/zip_deflate_source.h"
#include "foundation/platform/sha256.h"
#include "tests/app/app_test_util.h"

namespace pvtest {
namespace {

constexpr char kCode[] = "Pl4nt-Code";

class ZipAdapterTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(XceedZipInitDLL(), 0); }
  void TearDown() override {
    XzTestSeams() = real_seams_;
    XceedZipShutdownDLL();
  }

  static int32_t Zip(const std::string& archive, const std::string& file,
                     XzEncryption method = XzEncryption::kAes256) {
    return ZipUpdate(archive, file, kCode, method);
  }
  static int32_t Remove(const std::string& archive, const std::string& member) {
    return ZipUpdate(archive, member, kCode, XzEncryption::kAes256, true);
  }
  // 7z's test of every member with the code, or with another one.
  static int Test7z(const std::string& archive, const std::string& code = kCode) {
    return RunHostTool({"7z", "t", "-p" + code, HostPath(archive)}).exit_code;
  }
  // A file of table-like bytes (TableLikeBytes(records, seed)); its path.
  std::string MakeFile(const std::string& name, uint32_t records, uint32_t seed) {
    WriteFileBytes(dir_.File(name), TableLikeBytes(records, seed));
    return dir_.File(name);
  }

  TempDir dir_;
  const XzSeams real_seams_ = XzTestSeams();
};

TEST_F(ZipAdapterTest, MembersUnderBareNamesReplaceRemoveAndEncryption) {
  const std::string zip = dir_.File("out/20071203.zip");
  const std::string a = MakeFile("1203_07h.dbf", 5000, 1);
  const std::string b = MakeFile("1203_15h.dbf", 7000, 2);
  // A member of several deflate chunks, well compressed.
  const std::string big = ReadFileBytes(MakeFile("1203_23h.dbf", 3 * kDeflateChunk / 60, 4));
  ASSERT_GT(big.size(), 2 * kDeflateChunk);
  ASSERT_TRUE(std::filesystem::create_directory(dir_.File("out")));
  ASSERT_EQ(Zip(zip, dir_.File("1203_23h.dbf")), kXzSuccess);
  EXPECT_LT(std::filesystem::file_size(zip), big.size() / 3);
  ASSERT_EQ(Zip(zip, a), kXzSuccess);
  ASSERT_EQ(Zip(zip, b), kXzSuccess);

  ASSERT_EQ(Test7z(zip), 0);
  std::string slt;
  EXPECT_EQ(ZipMembers(zip, kCode, &slt),
            (std::vector<std::string>{"1203_23h.dbf", "1203_07h.dbf", "1203_15h.dbf"}));
  EXPECT_NE(slt.find("Method = AES-256 Deflate"), std::string::npos) << slt;
  EXPECT_EQ(ZipMemberBytes(zip, "1203_07h.dbf", kCode), ReadFileBytes(a));
  EXPECT_TRUE(ZipMemberBytes(zip, "1203_23h.dbf", kCode) == big);
  EXPECT_NE(Test7z(zip, "wrong"), 0);

  // Same name again: replaced, not doubled.
  WriteFileBytes(a, TableLikeBytes(3000, 9));
  ASSERT_EQ(Zip(zip, a), kXzSuccess);
  EXPECT_EQ(ZipMemberBytes(zip, "1203_07h.dbf", kCode), ReadFileBytes(a));
  EXPECT_EQ(ZipMembers(zip, kCode).size(), 3u);

  EXPECT_EQ(Remove(zip, "1203_07h.dbf"), kXzSuccess);
  EXPECT_EQ(Remove(zip, "1203_07h.dbf"), kXzErrNoMember);
  EXPECT_EQ(ZipMemberBytes(zip, "1203_15h.dbf", kCode), ReadFileBytes(b));
  EXPECT_EQ(Remove(dir_.File("none.zip"), "x.dbf"), kXzErrNoMember);

  // Traditional encryption, for old tools: unzip reads it.
  ASSERT_EQ(Zip(dir_.File("crypto.zip"), b, XzEncryption::kZipCrypto), kXzSuccess);
  const ProcessResult unzip =
      RunHostTool({"unzip", "-p", "-P", kCode, HostPath(dir_.File("crypto.zip")), "1203_15h.dbf"});
  EXPECT_EQ(unzip.exit_code, 0) << unzip.err;
  EXPECT_EQ(unzip.out, ReadFileBytes(b));
}

// Deflate chunks joined into one stream: every way a chunk can end (0 to 7
// unused bits, stored and compressed blocks, empty input) decodes as the
// whole input.
TEST(DeflateChunksTest, JoinedChunksInflateToTheWholeInput) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(9);
  ASSERT_NE(c, nullptr);
  std::string input, stream;
  uint32_t x = 7;
  for (int i = 0; i < 60; ++i) {
    std::string part;
    const size_t n = i % 10 == 0 ? 0 : static_cast<size_t>(x % 3000);
    for (size_t k = 0; k < n; ++k) {
      x = x * 1103515245u + 12345u;
      part += i % 3 == 0 ? static_cast<char>(x >> 24) : static_cast<char>('A' + (x >> 28));
    }
    std::vector<uint8_t> chunk(libdeflate_deflate_compress_bound(c, part.size()));
    chunk.resize(libdeflate_deflate_compress(c, part.data(), part.size(), chunk.data(), chunk.size()));
    ASSERT_FALSE(chunk.empty());
    ASSERT_TRUE(i == 59 || MakeDeflateChunkNonFinal(&chunk));
    input += part;
    stream.append(chunk.begin(), chunk.end());
  }
  libdeflate_free_compressor(c);
  std::vector<uint8_t> broken = {0x12, 0x34};
  EXPECT_FALSE(MakeDeflateChunkNonFinal(&broken));

  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  std::string out(input.size(), '\0');
  EXPECT_EQ(libdeflate_deflate_decompress(d, stream.data(), stream.size(), out.data(), out.size(), nullptr),
            LIBDEFLATE_SUCCESS);
  libdeflate_free_decompressor(d);
  EXPECT_TRUE(out == input);
}

// The busy case's other updater signals g_inside from within its update,
// while it holds the directory's mutex, and waits for g_release.
std::promise<void> g_inside, g_release;

// Each failure has its own number and keeps the archive; those that real
// disks and processes rarely give are made through the adapter's seams. (A
// failed write or rename: ZipPosixFaultsTest.)
TEST_F(ZipAdapterTest, FailuresHaveTheirOwnNumbersAndKeepTheArchive) {
  const std::string zip = dir_.File("a.zip");
  const std::string f = MakeFile("0101_07h.dbf", 2000, 4);
  const std::string g = MakeFile("0101_15h.dbf", 500, 5);
  ASSERT_EQ(Zip(zip, f), kXzSuccess);
  const std::string before = ReadFileBytes(zip);

  EXPECT_EQ(Zip(zip, dir_.File("missing.dbf")), kXzErrSourceUnreadable);
  EXPECT_EQ(Zip("", f), kXzErrNothingToDo);
  EXPECT_EQ(XzZip(nullptr), kXzErrBadHandle);
  EXPECT_EQ(Zip(dir_.File("no/such/dir/a.zip"), f), kXzErrCannotCreate);
  WriteFileBytes(dir_.File("junk.zip"), "this is no zip archive, just text");
  EXPECT_EQ(Zip(dir_.File("junk.zip"), f), kXzErrArchiveUnreadable);
  EXPECT_EQ(ReadFileBytes(dir_.File("junk.zip")), "this is no zip archive, just text");
  EXPECT_EQ(ReadFileBytes(zip), before);
  EXPECT_EQ(LeftoverTempFiles(dir_.Path(), "a.zip"), 0);

  // The day manifest beside the archive lists the member's SHA-256 and size.
  ASSERT_EQ(pv::Sha256Hex("abc", 3), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  auto entry = [](const std::string& file) {
    const std::string bytes = ReadFileBytes(file);
    return "member " + pv::Sha256Hex(bytes.data(), bytes.size()) + " " + std::to_string(bytes.size()) + " ";
  };
  const std::string manifest = ReadFileBytes(dir_.File("a.manifest"));
  EXPECT_EQ(manifest.find("Packvault day manifest 1\nprevious none\n" + entry(f)), 0u) << manifest;
  // A manifest that cannot be replaced (a directory holds its temporary
  // name): the member is in the archive, yet the run fails with 13 and is
  // retried; the retry's manifest keeps the first entry and adds the second.
  std::filesystem::create_directory(dir_.File("a.manifest.tmp"));
  EXPECT_EQ(Zip(zip, g), kXzErrManifest);
  EXPECT_EQ(ZipMemberBytes(zip, "0101_15h.dbf", kCode), ReadFileBytes(g));
  EXPECT_EQ(ReadFileBytes(dir_.File("a.manifest")), manifest);
  std::filesystem::remove(dir_.File("a.manifest.tmp"));
  EXPECT_EQ(Zip(zip, g), kXzSuccess);
  const std::string updated = ReadFileBytes(dir_.File("a.manifest"));
  EXPECT_EQ(updated.find(manifest), 0u) << updated;
  EXPECT_EQ(updated.find(entry(g), manifest.size()), manifest.size()) << updated;

  // Sync of the new archive, then of its directory: the archive is replaced
  // but not known to be durable, which the caller must hear.
  XzTestSeams().sync = [](const std::string&, bool directory) {
    return directory ? pv::Status::OK() : pv::Status::IOError("injected");
  };
  EXPECT_EQ(Zip(zip, g), kXzErrSyncFailed);
  XzTestSeams().sync = [](const std::string&, bool directory) {
    return directory ? pv::Status::IOError("injected") : pv::Status::OK();
  };
  EXPECT_EQ(Remove(zip, "0101_15h.dbf"), kXzErrSyncFailed);
  XzTestSeams().sync = real_seams_.sync;
  EXPECT_EQ(ZipMembers(zip, kCode), std::vector<std::string>{"0101_07h.dbf"});

  // Busy: another updater is inside an update in the same directory (a
  // thread: the mutex is owned per thread, as across processes). Both
  // operations give up after the wait; that update then completes.
  g_inside = {};
  g_release = {};
  XzTestSeams().before_commit = [](const std::string&) {
    g_inside.set_value();
    g_release.get_future().wait();
  };
  std::future<int32_t> other = std::async(std::launch::async, [&] { return Zip(zip, g); });
  ASSERT_EQ(g_inside.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
  XzTestSeams().before_commit = nullptr;
  XzTestSeams().directory_wait_ms = 100;
  EXPECT_EQ(Zip(dir_.File("other.zip"), f), kXzErrBusy);
  EXPECT_EQ(Remove(zip, "0101_07h.dbf"), kXzErrBusy);
  g_release.set_value();
  EXPECT_EQ(other.get(), kXzSuccess);
  EXPECT_EQ(ZipMembers(zip, kCode), (std::vector<std::string>{"0101_07h.dbf", "0101_15h.dbf"}));
  EXPECT_FALSE(pv::PathExists(dir_.File("other.zip")));
}

// An update killed while it writes, as by a power cut, leaves the archive as
// it was; the next update removes the temporary file it left.
TEST_F(ZipAdapterTest, KilledDuringAddLeavesEarlierMembersAndItsTempIsCleared) {
  const std::string first = MakeFile("0101_07h.dbf", 3000, 6);
  const std::string big = MakeFile("0101_15h.dbf", 600000, 7);  // deflating it takes a while
  // The kill races the worker's rename: when the rename wins, the add simply
  // completed, and the attempt is made again with another archive.
  std::string zip, name, ends;  // ends: how each attempt's worker ended
  bool killed_while_writing = false;
  for (int attempt = 0; attempt < 10 && !killed_while_writing; ++attempt) {
    name = "k" + std::to_string(attempt) + ".zip";
    zip = dir_.File(name);
    ASSERT_EQ(Zip(zip, first), kXzSuccess);
    Child worker({ProgramPath("bin/zip_worker"), zip, big, kCode});
    // Killed while libzip writes its temporary file. Over an existing
    // archive libzip may first try to clone it into an empty temporary file
    // that it drops at once; the one the update goes into stays for seconds,
    // so the kill waits until a temporary file has been there for 50 polls.
    for (int seen = 0; worker.Running() && seen < 50;) {
      seen = LeftoverTempFiles(dir_.Path(), name) > 0 ? seen + 1 : 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const bool running = worker.Running();
    ends += running ? " killed" : " exit " + std::to_string(worker.Wait(0).value_or(-1));
    worker.Kill();
    killed_while_writing = running && LeftoverTempFiles(dir_.Path(), name) == 1;
  }
  ASSERT_TRUE(killed_while_writing) << "no add was killed while it wrote its archive:" << ends;
  EXPECT_EQ(Test7z(zip), 0);
  EXPECT_EQ(ZipMemberBytes(zip, "0101_07h.dbf", kCode), ReadFileBytes(first));

  const std::string small = MakeFile("0101_23h.dbf", 100, 8);
  ASSERT_EQ(Zip(zip, small), kXzSuccess);
  EXPECT_EQ(LeftoverTempFiles(dir_.Path(), name), 0);
  EXPECT_EQ(ZipMembers(zip, kCode), (std::vector<std::string>{"0101_07h.dbf", "0101_23h.dbf"}));
  EXPECT_EQ(ZipMemberBytes(zip, "0101_23h.dbf", kCode), ReadFileBytes(small));
}

}  // namespace
}  // namespace pvtest
