#include "app/zip_data.h"

namespace {
ZipData* the_zip_data = nullptr;
}

ZipData* GetZipData() { return the_zip_data; }
void SetZipData(ZipData* zipData) { the_zip_data = zipData; }
