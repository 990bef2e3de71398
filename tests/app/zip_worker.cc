// zip_worker: an archive update in a process of its own, so that a test can
// kill it half way as a power cut would. Adds FILE to ARCHIVE (AES with CODE)
// as the archive job does; the exit code is XzZip's number.
//
//   zip_worker ARCHIVE FILE CODE
#include "tests/app/app_test_util.h"

int main(int argc, char** argv) {
  if (argc != 4 || XceedZipInitDLL() == 0) return 2;
  const int32_t r = pvtest::ZipUpdate(argv[1], argv[2], argv[3]);
  XceedZipShutdownDLL();
  return r;
}
