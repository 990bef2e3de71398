#include "app/app_main.h"

#include <cstdint>

#include "app/dbf2zip.h"
#include "app/zip_data.h"
#include "foundation/output_handler.h"
#include "foundation/platform/keyboard.h"
#include "foundation/platform/path_resolve.h"
#include "foundation/platform/stop_request.h"
#include "foundation/platform/thread.h"
#include "foundation/zr_debug_output.h"
#include "foundation/zr_granularity.h"
#include "foundation/zr_process.h"
#include "serverlink/eci_objects.h"

namespace {

constexpr char kUsage[] = "Usage: 'Packvault <projectfile> [/d]'";
constexpr uint32_t kPassMillis = 1000;

// Start-up after InitApp, the loop and the end; the exit code.
int Run(int argc, char** argv) {
  if (!InitApp(argc, argv) || !GetZipData()->InitializeDbfData()) {
    ExitApp();
    return 1;
  }
  ZipData* zip = GetZipData();
  EciObjects* eci = GetEciObjects();
  uint32_t passes_per_check = 0;
  zip->SetZipTimeData(&passes_per_check);
  for (size_t i = 0; i < zip->DbfList.size(); ++i) {
    zip->DbfList[i]->OpenBases(static_cast<int32_t>(i));
  }
  zip->StartTime();
  eci->RefreshEciObjs();
  const bool esc_enabled = !(argc == 3 && pv::EqualNoCase(argv[2], "/Esc"));
  if (!esc_enabled) GetLog()->PutInfo("ESC disabled");

  uint32_t pass = 0;
  for (;;) {
    eci->Check4Shutdown();
    int key = pv::PollKey();
    if (key == pv::kNoKey) key = '0';
    if (esc_enabled && key == pv::kKeyEsc) break;
    if (eci->ShutdownFlag) break;
    if (pv::StopRequested()) break;  // a service manager's stop, also with ESC disabled
    // Missed intervals, one per pass and without the pause, so that a stop
    // is seen between any two of them.
    if (zip->CatchUpDue()) {
      zip->CatchUpNext();
      continue;
    }
    if (++pass >= passes_per_check) {
      pass = 0;
      if (zip->ZipError) {
        // The oldest interval not archived whole is the failed one.
        if (!zip->CatchUpNext()) {
          GetLog()->PutInfo("ZipError is set -> ForceZip");
          zip->ForceZip();
        }
      } else {
        zip->CheckTime4WritingZipDbf();
      }
    }
    pv::SleepMillis(kPassMillis);
  }
  GetLog()->PutInfo("End program due to ESC or shutdown flag");
  zip->ForceZip();
  ExitApp();
  return 0;
}

}  // namespace

bool InitApp(int argc, char** argv) {
  ZrString banner = ZrGetFileInfoZrString("ProductName");
  banner += " version ";
  banner += ZrGetFileVersion();
  banner += "\n";
  banner += ZrGetFileInfoZrString("LegalCopyright");
  GetLog()->PutInfo(banner);

  // Both exist before any argument is looked at, so ExitApp always finds them.
  SetEciObjects(new EciObjects());
  SetZipData(new ZipData());
  // The disk usage the server link publishes is that of the destination,
  // which the configuration owns (known once InitializeZipData has run).
  GetEciObjects()->SetDestPathProvider([] { return GetZipData()->DestPath; });
  if (argc < 2) {
    GetLog()->PutError(kUsage);
    return false;
  }
  if (!GetEciObjects()->ConnectEci("PACKVAULT", argv[1])) return false;
  return GetZipData()->InitializeZipData();
}

void ExitApp() {
  GetLog()->PutInfo("Exit App");
  if (ZipData* zip = GetZipData()) {
    zip->CleanUp();
    delete zip;
    SetZipData(nullptr);
  }
  if (EciObjects* eci = GetEciObjects()) {
    delete eci;
    SetEciObjects(nullptr);
  }
  ZrCloseHandles();
  // The block stays usable: the log handler returns its strings after this.
  ZrGranularity::_FreeMem();
  ZrExitCritSec();
}

int PackvaultMain(int argc, char** argv) {
  ZrInitCritSec();
  // The pool's block, before anything allocates from it.
  ZrGranularity::_AllocMem(0x400000);
  pv::Status s = pv::InstallStopRequestHandlers();
  OutputHandler log("Packvault.log");
  SetLog(&log);
  if (!s.ok()) log.PutError(s.ToString().c_str());  // the program still runs; ESC ends it
  int rc = Run(argc, argv);
  pv::RestoreKeyboard();
  SetLog(nullptr);
  return rc;
}
