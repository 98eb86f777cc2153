// The results formats on any rows. The comma-delimited file must read back
// into the rows (every quote of a quoted row doubled, no row split); the text
// file and the command line's lines hold each row followed by its
// terminator, so the row count is kept (with the terminator NUL, a NUL
// inside a row is written as "%00"); the command line's writer, page by
// page, must give the same files as the window's whole-list builders; after
// a failed write it must write nothing more and keep the error. The JSON
// Lines writer, which streams each page's record, must give the bytes of
// whole records written by a JSON library, each of which parses back into
// its texts. Any difference aborts.
//
// Input: one byte for the command line's format, one for the terminator of
// its lines format, one naming the write that fails (0: none), then the rows, each a length byte
// (its high bit: the page ends after this row) and up to 127 bytes. For the
// JSON writer a page's first row is its address and page row too, and a page
// whose first row starts with '!' is not found, its second row the reason.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/json_page_writer.h"
#include "cli/row_writers.h"
#include "common/error_report.h"
#include "common/results_export.h"
#include "common/row_store.h"

namespace {

struct Row {
  std::string_view text;
  bool endsPage;
};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

std::vector<Row> ReadRows(std::string_view input) {
  std::vector<Row> rows;
  while (!input.empty()) {
    const auto head = static_cast<unsigned char>(input[0]);
    input.remove_prefix(1);
    const size_t length = std::min<size_t>(head & 0x7F, input.size());
    rows.push_back({input.substr(0, length), (head & 0x80) != 0});
    input.remove_prefix(length);
  }
  return rows;
}

// The comma-delimited line read back; false when it is not well formed.
bool ReadCsvLine(std::string_view bytes, std::vector<std::string>& fields) {
  size_t at = 0;
  while (bytes.substr(at) != "\r\n") {
    std::string field;
    if (at < bytes.size() && bytes[at] == '"') {
      for (++at;; ++at) {
        if (at + 1 >= bytes.size()) return false;
        if (bytes[at] != '"') {
          field += bytes[at];
        } else if (bytes[at + 1] == '"') {
          field += '"';
          ++at;
        } else {
          break;
        }
      }
      ++at;  // the closing quote
    } else {
      for (; at < bytes.size() && bytes[at] != ','; ++at) {
        const char c = bytes[at];
        if (c == '"' || c == '\r' || c == '\n') return false;
        field += c;
      }
    }
    if (at >= bytes.size() || bytes[at] != ',') return false;
    ++at;
    fields.push_back(std::move(field));
  }
  return true;
}

// The rows through the command line's writer, page by page; the write
// numbered `failingWrite` (from 1) throws.
std::string WriteRows(verdigo::RowWriter::Format format, char terminator,
                      const std::vector<Row>& rows, unsigned failingWrite, bool& finished,
                      std::string& error) {
  std::string out;
  unsigned writes = 0;
  verdigo::RowWriter writer(format, terminator, [&](std::string_view bytes) {
    if (++writes == failingWrite) throw verdigo::Failure("Disk full");
    if (failingWrite != 0 && writes > failingWrite) Fail("a write after a failed one");
    out += bytes;
  });
  for (const Row& row : rows) {
    writer.AppendRow(row.text);
    if (row.endsPage) writer.EndPage();
  }
  finished = writer.Finish();
  error = writer.error();
  return out;
}

// The rows cut into pages.
std::vector<std::vector<std::string_view>> Pages(const std::vector<Row>& rows) {
  std::vector<std::vector<std::string_view>> pages(1);
  for (const Row& row : rows) {
    pages.back().push_back(row.text);
    if (row.endsPage) pages.emplace_back();
  }
  if (pages.back().empty()) pages.pop_back();
  return pages;
}

bool NotFound(const std::vector<std::string_view>& page) { return page.front().starts_with('!'); }

std::string_view NotFoundReason(const std::vector<std::string_view>& page) {
  return page.size() > 1 ? page[1] : std::string_view();
}

// One page's record, whole, as the library writes it.
nlohmann::ordered_json WholeRecord(const std::vector<std::string_view>& page) {
  nlohmann::ordered_json record;
  record["address"] = verdigo::TextAsUtf8(page.front());
  record["page"] = verdigo::TextAsUtf8(page.front());
  if (NotFound(page)) {
    record["error"] = verdigo::TextAsUtf8(NotFoundReason(page));
    return record;
  }
  nlohmann::ordered_json& links = record["links"] = nlohmann::ordered_json::array();
  for (size_t i = 1; i < page.size(); ++i) links.push_back(verdigo::TextAsUtf8(page[i]));
  return record;
}

void CheckJsonLines(const std::vector<Row>& rows, unsigned failingWrite) {
  std::string out;
  unsigned writes = 0;
  verdigo::JsonPageWriter writer([&](std::string_view bytes) {
    if (++writes == failingWrite) throw verdigo::Failure("Disk full");
    if (failingWrite != 0 && writes > failingWrite) Fail("JSON: a write after a failed one");
    out += bytes;
  });
  std::string expected;
  for (const std::vector<std::string_view>& page : Pages(rows)) {
    writer.BeginPage(page.front());
    if (NotFound(page)) {
      writer.PageNotFound(page.front(), NotFoundReason(page));
    } else {
      for (const std::string_view row : page) writer.AppendRow(row);
    }
    writer.EndPage();
    const nlohmann::ordered_json record = WholeRecord(page);
    const std::string line = record.dump() + '\n';
    if (nlohmann::ordered_json::parse(line) != record) Fail("JSON: a record does not parse back");
    expected += line;
  }
  if (writer.Finish() != writer.error().empty()) Fail("JSON: Finish and error disagree");
  if (writer.error().empty() ? out != expected : !expected.starts_with(out)) {
    Fail("JSON: the streamed records differ from whole ones");
  }
}

// The lines the command line writes: each row and its terminator; with the
// terminator NUL, a NUL inside a row as "%00".
std::string ExpectedLines(const std::vector<Row>& rows, char terminator) {
  std::string lines;
  for (const Row& row : rows) {
    for (const char c : row.text) {
      if (c == '\0' && terminator == '\0') {
        lines += "%00";
      } else {
        lines += c;
      }
    }
    lines += terminator;
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size < 3) return 0;
  using Format = verdigo::RowWriter::Format;
  const auto format = static_cast<Format>(data[0] % 3);
  const char terminator = static_cast<char>(data[1]);
  const unsigned failingWrite = data[2];
  const std::vector<Row> rows =
      ReadRows(std::string_view(reinterpret_cast<const char*>(data + 3), size - 3));

  verdigo::RowStore store;
  std::string text;
  for (const Row& row : rows) {
    store.Append(row.text);
    text.append(row.text).append("\r\n");
  }
  const std::string lines = ExpectedLines(rows, terminator);

  if (verdigo::ResultsTextFileBytes(store) != text) Fail("text file: not each row and CR LF");
  const std::string csv = verdigo::ResultsCsvFileBytes(store);
  std::vector<std::string> fields;
  if (!ReadCsvLine(csv, fields)) Fail("comma-delimited file: not well formed");
  if (fields.size() != rows.size()) Fail("comma-delimited file: row count changed");
  for (size_t i = 0; i < rows.size(); ++i) {
    if (fields[i] != rows[i].text) Fail("comma-delimited file: a row reads back changed");
  }

  // One writer a run: under the address sanitizer each of its 1 MiB buffers
  // costs milliseconds.
  bool finished = false;
  std::string error;
  const std::string written = WriteRows(format, terminator, rows, failingWrite, finished, error);
  const std::string& expected = format == Format::kLines      ? lines
                                : format == Format::kTextFile ? text
                                                              : csv;
  if (error.empty()) {
    if (!finished || written != expected) Fail("command line output differs from the window's");
    if (format == Format::kLines && terminator == '\0' &&
        static_cast<size_t>(std::count(written.begin(), written.end(), '\0')) != rows.size()) {
      Fail("lines ended by NUL: a row was split");
    }
  } else {
    if (finished || error != "Disk full" || !expected.starts_with(written))
      Fail("after a failed write: not the bytes before it and the error");
  }
  CheckJsonLines(rows, failingWrite);
  return 0;
}
