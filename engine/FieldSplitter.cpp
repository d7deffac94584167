#include "engine/FieldSplitter.h"

#include <cstring>

namespace velmora {

namespace {

// Hands out the next field string of the list, reusing an existing one when there is one.
std::string& NextField(FieldList& fields, std::size_t& count) {
  if (count == fields.size()) fields.emplace_back();
  std::string& field = fields[count++];
  field.clear();
  return field;
}

// The walk for code pages in which no trail byte is NUL, TAB, a quote or a comma: there the byte
// classes never decide anything, so runs of ordinary bytes are copied whole.
void SplitPlain(std::string_view line, char separator, FieldList& fields, std::size_t& count) {
  const char* p = line.data();
  const char* end = p + line.size();
  if (const void* nul = std::memchr(p, '\0', line.size())) end = static_cast<const char*>(nul);
  std::string* field = &NextField(fields, count);
  bool quoted = false;
  const char* nextQuote = nullptr;  // the first quote at or after p, or end
  while (p < end) {
    if (!quoted) {
      const char* stop = p;
      // An empty stretch (a quote or separator right here) needs no search.
      if (*p != separator && *p != '"') {
        if (nextQuote == nullptr || nextQuote < p) {
          const void* quote = std::memchr(p, '"', static_cast<std::size_t>(end - p));
          nextQuote = quote != nullptr ? static_cast<const char*>(quote) : end;
        }
        const void* sep = std::memchr(p, separator, static_cast<std::size_t>(nextQuote - p));
        stop = sep != nullptr ? static_cast<const char*>(sep) : nextQuote;
      }
      field->append(p, static_cast<std::size_t>(stop - p));
      if (stop == end) break;
      if (*stop == '"') {
        quoted = true;
      } else {
        field = &NextField(fields, count);
      }
      p = stop + 1;
    } else {
      const void* quote = std::memchr(p, '"', static_cast<std::size_t>(end - p));
      if (quote == nullptr) {
        field->append(p, static_cast<std::size_t>(end - p));
        break;
      }
      const char* q = static_cast<const char*>(quote);
      field->append(p, static_cast<std::size_t>(q - p));
      if (q + 1 < end && q[1] == '"') {
        field->push_back('"');
        p = q + 2;
      } else {
        quoted = false;
        p = q + 1;
      }
    }
  }
}

// The walk byte by byte, classifying each byte, for code pages whose trail bytes include a quote,
// a separator or NUL.
void SplitClassified(std::string_view line, char separator, const CodePageTable& table,
                     FieldList& fields, std::size_t& count) {
  std::string* field = &NextField(fields, count);
  bool quoted = false;
  ByteClass previous = ByteClass::OtherByte;
  for (std::size_t i = 0; i < line.size(); ++i) {
    auto b = static_cast<unsigned char>(line[i]);
    if (b == 0) break;
    ByteClass cls = ClassifyByte(b, previous, table);
    previous = cls;
    if (cls != ByteClass::OtherByte) {
      field->push_back(static_cast<char>(b));
      continue;
    }
    if (!quoted) {
      if (b == '"') {
        quoted = true;
      } else if (b == static_cast<unsigned char>(separator)) {
        field = &NextField(fields, count);
      } else {
        field->push_back(static_cast<char>(b));
      }
    } else if (b == '"') {
      if (i + 1 < line.size() && line[i + 1] == '"') {
        // The second quote of the pair is consumed without being classified.
        field->push_back('"');
        ++i;
      } else {
        quoted = false;
      }
    } else {
      field->push_back(static_cast<char>(b));
    }
  }
}

}  // namespace

void SplitFields(std::string_view line, char separator, const CodePageTable& table,
                 FieldList& fields) {
  std::size_t count = 0;
  if (table.SplitIgnoresClasses()) {
    SplitPlain(line, separator, fields, count);
  } else {
    SplitClassified(line, separator, table, fields, count);
  }
  fields.resize(count);
}

FieldList SplitFields(std::string_view line, char separator) {
  FieldList fields;
  SplitFields(line, separator, ProcessCodePageTable(), fields);
  return fields;
}

}  // namespace velmora
