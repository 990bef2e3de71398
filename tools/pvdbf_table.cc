// Opening tables and writing records as JSON, shared by the pvdbf commands.
#include <cstdio>
#include <cstring>

#include "tableengine/cdx_opener.h"
#include "tableengine/dbf_header.h"
#include "tableengine/expr_functions.h"
#include "tools/pvdbf.h"

namespace pvdbf {

namespace {

void ReportToStderr(pv::EngineContext*, int32_t code, int32_t, const char* d1, const char* d2,
                    const char* d3) {
  std::fprintf(stderr, "pvdbf: error %d (%s)", code, pv::EngineErrorText(code));
  for (const char* d : {d1, d2, d3}) {
    if (d != nullptr) std::fprintf(stderr, ": %s", d);
  }
  std::fprintf(stderr, "\n");
}

// JSON string of raw bytes, one code point per byte.
void AppendJsonString(std::string* out, const char* p, size_t n) {
  out->push_back('"');
  for (size_t i = 0; i < n; i++) {
    const auto c = static_cast<unsigned char>(p[i]);
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(static_cast<char>(c));
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out->append(buf);
    } else if (c < 0x80) {
      out->push_back(static_cast<char>(c));
    } else {  // UTF-8 of U+0080..U+00FF
      out->push_back(static_cast<char>(0xC0 | (c >> 6)));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  out->push_back('"');
}

void AppendHex(std::string* out, const char* p, size_t n) {
  static const char kHex[] = "0123456789abcdef";
  out->push_back('"');
  for (size_t i = 0; i < n; i++) {
    const auto c = static_cast<unsigned char>(p[i]);
    out->push_back(kHex[c >> 4]);
    out->push_back(kHex[c & 15]);
  }
  out->push_back('"');
}

// The numeric text of an N or F field as a JSON number, digits kept as
// stored (a 19-digit value does not go through a double); null when blank
// or unreadable.
void AppendNumericText(std::string* out, std::string_view text) {
  bool ok = true;
  const bool blank = text.find_first_not_of(' ') == std::string_view::npos;
  pv::ParseNumericText(text, &ok);
  if (blank || !ok) {
    out->append("null");
    return;
  }
  size_t b = text.find_first_not_of(' ');
  size_t e = text.find_last_not_of(' ');
  std::string t(text.substr(b, e - b + 1));
  if (t.find_first_of("eE") != std::string::npos) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", pv::ParseNumericText(t));
    out->append(buf);
    return;
  }
  std::string sign;
  if (t[0] == '-' || t[0] == '+') {
    if (t[0] == '-') sign = "-";
    t.erase(0, 1);
  }
  for (char& c : t) c = c == ',' ? '.' : c;
  size_t dot = t.find('.');
  std::string whole = t.substr(0, dot);
  std::string frac = dot == std::string::npos ? "" : t.substr(dot + 1);
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
  if (whole.empty()) whole = "0";
  out->append(sign + whole);
  if (!frac.empty()) out->append("." + frac);
}

void AppendField(std::string* out, pv::Field* f) {
  if (f->IsNull()) {
    out->append("null");
    return;
  }
  const char* p = f->Ptr();
  const size_t w = static_cast<size_t>(f->Width());
  char buf[64];
  switch (f->Type()) {
    case 'C': {
      size_t n = w;
      while (n > 0 && p[n - 1] == ' ') n--;
      AppendJsonString(out, p, n);
      return;
    }
    case 'N': case 'F':
      AppendNumericText(out, std::string_view(p, w));
      return;
    case 'L':
      out->append(std::strchr("TtYy", p[0]) && p[0] ? "true" : std::strchr("FfNn", p[0]) && p[0] ? "false" : "null");
      return;
    case 'D': {
      if (pv::JulianFromDateText(std::string_view(p, 8)) == 0) {
        out->append("null");
      } else {
        std::snprintf(buf, sizeof buf, "\"%.4s-%.2s-%.2s\"", p, p + 4, p + 6);
        out->append(buf);
      }
      return;
    }
    case 'M': case 'G': case 'P': case 'W':
      if (f->MemoLength() == 0) {  // no memo
        out->append("null");
        return;
      }
      if (f->Type() != 'M') {
        AppendHex(out, f->MemoPtr(), static_cast<size_t>(f->MemoLength()));
        return;
      }
      AppendJsonString(out, f->MemoPtr(), static_cast<size_t>(f->MemoLength()));
      return;
    case 'I':
      std::snprintf(buf, sizeof buf, "%d", f->Long());
      out->append(buf);
      return;
    case 'B':
      std::snprintf(buf, sizeof buf, "%.17g", f->Double());
      out->append(buf);
      return;
    case 'Y': {
      int64_t v;
      std::memcpy(&v, p, 8);
      const uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
      std::snprintf(buf, sizeof buf, "%s%llu.%04llu", v < 0 ? "-" : "",
                    static_cast<unsigned long long>(mag / 10000), static_cast<unsigned long long>(mag % 10000));
      out->append(buf);
      return;
    }
    case 'T': {
      const auto jd = static_cast<int32_t>(pv::GetLe32(p));
      const uint32_t ms = pv::GetLe32(p + 4);
      if (jd == 0 && ms == 0) {
        out->append("null");
        return;
      }
      int32_t y, m, d;
      pv::CivilFromJulian(jd, &y, &m, &d);
      std::snprintf(buf, sizeof buf, "\"%04d-%02d-%02dT%02u:%02u:%02u", y, m, d, ms / 3600000,
                    ms / 60000 % 60, ms / 1000 % 60);
      out->append(buf);
      if (ms % 1000 != 0) {
        std::snprintf(buf, sizeof buf, ".%03u", ms % 1000);
        out->append(buf);
      }
      out->push_back('"');
      return;
    }
    default:
      AppendHex(out, p, w);
      return;
  }
}

}  // namespace

pv::Table* OpenTable(pv::EngineContext* ctx, const std::string& path) {
  ctx->settings().read_only = true;
  ctx->settings().open_error = true;
  ctx->set_error_hook(ReportToStderr);
  ctx->set_index_opener(pv::CdxIndexOpener());
  return pv::Table::Open(ctx, path);
}

std::string RecordJson(pv::Table* table) {
  std::string out = "{";
  for (int32_t i = 1; i <= table->FieldCount(); i++) {
    pv::Field* f = table->FieldAt(i);
    if (f->Type() == '0') continue;  // the hidden null-flag field
    AppendJsonString(&out, f->Name().data(), f->Name().size());
    out.append(": ");
    AppendField(&out, f);
    out.append(", ");
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "\"_recno\": %d, \"_deleted\": %s}", table->RecordNumber(),
                table->Deleted() ? "true" : "false");
  out.append(buf);
  return out;
}

}  // namespace pvdbf
