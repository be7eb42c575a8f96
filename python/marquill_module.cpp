// The Python module marquill: the library's calls with Python values. Inputs are copied
// before the library runs, and the library runs without the interpreter lock, so Python
// threads calling it work at once.
#include <pybind11/pybind11.h>

#include <marquill/marquill.h>

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace {

const char kModuleDoc[] = R"doc(Japanese web documents read into tag records, tag listings, templates filled
from up to nine documents, and text converted between Shift-JIS, EUC, JIS and UTF-8.

Records and filled templates are in UTF-8 (Python str), so nothing is replaced on the way.
Documents may be in any of the codes; bytes are taken as they are, a str is encoded as UTF-8.

A failure raises marquill.Error, with the attributes code (e.g. 1021), message, row and
column (0 when the failure has no place). A warning (5021 an item found no value, 5022 a
replacement number without an entry, 5023 characters replaced) is a Python warning of
category marquill.Warning, with the attributes code and message; every call takes
warnings=LIST to have them appended to that list instead, which unlike
warnings.catch_warnings() is safe with several threads.

Every call releases the interpreter lock while the library works: threads calling it run
at once.)doc";

PyObject* gErrorType = nullptr;
PyObject* gWarningType = nullptr;

std::string lowered(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

template <typename Value, size_t N>
Value named(const char* what, const std::string& given, const std::pair<const char*, Value> (&names)[N]) {
  const std::string key = lowered(given);
  std::string known;
  for (const auto& [name, value] : names) {
    if (key == name) return value;
    known += known.empty() ? "" : ", ";
    known += name;
  }
  throw py::value_error("unknown " + std::string(what) + " '" + given + "' (known: " + known + ")");
}

marquill::Kind kindNamed(const std::string& name) {
  static const std::pair<const char*, marquill::Kind> kNames[] = {{"html", marquill::Kind::Html},
                                                                  {"xml", marquill::Kind::Xml}};
  return named("kind", name, kNames);
}

marquill::Parser parserNamed(const std::string& name) {
  static const std::pair<const char*, marquill::Parser> kNames[] = {{"classic", marquill::Parser::Classic},
                                                                    {"standard", marquill::Parser::Standard}};
  return named("parser", name, kNames);
}

marquill::Code codeNamed(const py::object& name) {
  if (name.is_none()) return marquill::Code::Detect;
  static const std::pair<const char*, marquill::Code> kNames[] = {
      {"utf8", marquill::Code::Utf8}, {"utf16", marquill::Code::Utf16}, {"sjis", marquill::Code::Sjis},
      {"euc", marquill::Code::Euc},   {"jis", marquill::Code::Jis}};
  if (!py::isinstance<py::str>(name)) throw py::type_error("code must be None or a str");
  return named("code", name.cast<std::string>(), kNames);
}

marquill::Target targetNamed(const std::string& name) {
  static const std::pair<const char*, marquill::Target> kNames[] = {{"utf8", marquill::Target::Utf8},
                                                                    {"sjis", marquill::Target::Sjis},
                                                                    {"euc", marquill::Target::Euc},
                                                                    {"jis", marquill::Target::Jis}};
  return named("target", name, kNames);
}

marquill::Working workingNamed(const std::string& name) {
  static const std::pair<const char*, marquill::Working> kNames[] = {{"utf8", marquill::Working::Utf8},
                                                                     {"sjis", marquill::Working::Sjis}};
  return named("working code", name, kNames);
}

// UTF-8 bytes as a str; a stray byte survives as a lone surrogate, so nothing is lost and
// nothing fails here.
py::str utf8Str(std::string_view text) {
  PyObject* decoded = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogateescape");
  if (decoded == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(decoded);
}

bool validUtf8(std::string_view text) {
  PyObject* decoded = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict");
  if (decoded == nullptr) {
    PyErr_Clear();
    return false;
  }
  Py_DECREF(decoded);
  return true;
}

std::string sjisToUtf8(std::string_view text) {
  marquill::Recoded recoded;
  {
    py::gil_scoped_release release;
    recoded = marquill::recode(text, marquill::Target::Utf8, marquill::Code::Sjis);
  }
  return recoded.ok() ? std::move(recoded.text) : std::string(text);
}

// A message's text as a str. Messages come in the call's working code; the Shift-JIS ones
// are never valid UTF-8 once they hold a Japanese character, and ASCII is both.
py::str messageStr(const std::string& text) { return utf8Str(validUtf8(text) ? text : sjisToUtf8(text)); }

py::object messageObject(PyObject* type, const marquill::Message& message) {
  const py::str text = messageStr(message.text);
  py::object object = py::reinterpret_borrow<py::object>(type)(py::str("{} {}").format(message.code, text));
  object.attr("code") = message.code;
  object.attr("message") = text;
  return object;
}

// The warnings to the given list, or else to Python's warnings; then the failure, if any,
// raised as marquill.Error. Called with the interpreter lock held.
void report(const marquill::Outcome& outcome, const py::object& sink) {
  for (const marquill::Message& warning : outcome.warnings) {
    py::object object = messageObject(gWarningType, warning);
    if (sink.is_none()) {
      py::module_::import("warnings").attr("warn")(object);
    } else {
      sink.attr("append")(object);
    }
  }
  if (outcome.ok()) return;
  py::object error = messageObject(gErrorType, outcome.failure);
  error.attr("row") = outcome.failure.row;
  error.attr("column") = outcome.failure.column;
  PyErr_SetObject(gErrorType, error.ptr());
  throw py::error_already_set();
}

py::object checkedSink(const py::object& sink) {
  if (!sink.is_none() && !py::isinstance<py::list>(sink)) throw py::type_error("warnings must be None or a list");
  return sink;
}

// The bytes of an argument: bytes and bytearray as they are, a str as UTF-8, copied so
// that the library can run without the interpreter lock.
std::string bytesOf(const py::handle& value, const char* what) {
  if (PyBytes_Check(value.ptr())) {
    return std::string(PyBytes_AS_STRING(value.ptr()), static_cast<size_t>(PyBytes_GET_SIZE(value.ptr())));
  }
  if (PyByteArray_Check(value.ptr())) {
    return std::string(PyByteArray_AS_STRING(value.ptr()), static_cast<size_t>(PyByteArray_GET_SIZE(value.ptr())));
  }
  if (PyUnicode_Check(value.ptr())) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
    if (text == nullptr) throw py::error_already_set();
    return std::string(text, static_cast<size_t>(size));
  }
  throw py::type_error(std::string(what) + " must be bytes or str");
}

// A text in the working code: a str is written in it, and refused when Shift-JIS lacks one
// of its characters (a template must not change silently).
std::string workingBytesOf(const py::handle& value, const char* what, marquill::Working working) {
  std::string bytes = bytesOf(value, what);
  if (working == marquill::Working::Utf8 || !PyUnicode_Check(value.ptr())) return bytes;
  marquill::Recoded recoded;
  {
    py::gil_scoped_release release;
    recoded = marquill::recode(bytes, marquill::Target::Sjis, marquill::Code::Utf8);
  }
  if (!recoded.ok() || recoded.replaced != 0) {
    throw py::value_error(std::string(what) + " holds characters Shift-JIS lacks; pass bytes to keep them");
  }
  return std::move(recoded.text);
}

py::bytes bytesObject(const std::string& text) { return py::bytes(text.data(), text.size()); }

py::list recordList(const std::vector<marquill::Record>& records) {
  py::list list(records.size());
  size_t index = 0;
  for (const marquill::Record& record : records) {
    list[index++] = py::make_tuple(record.file, record.object, record.sequence, utf8Str(record.path),
                                   utf8Str(record.value));
  }
  return list;
}

py::list readDocument(const py::object& data, const std::string& kind, const std::string& parser, const py::object& code,
              const py::object& sink) {
  const marquill::ReadOptions options{kindNamed(kind), parserNamed(parser), codeNamed(code), marquill::Working::Utf8};
  checkedSink(sink);
  const std::string document = bytesOf(data, "data");
  marquill::Records result;
  {
    py::gil_scoped_release release;
    result = marquill::read(document, options);
  }
  report(result, sink);
  return recordList(result.records);
}

py::list readListingText(const py::object& data, const std::string& name, const py::object& sink) {
  checkedSink(sink);
  const std::string listing = bytesOf(data, "data");
  marquill::Records result;
  {
    py::gil_scoped_release release;
    result = marquill::readListing(listing, marquill::Working::Utf8, name);
  }
  report(result, sink);
  return recordList(result.records);
}

char separatorOf(const py::object& separator) {
  const bool oneByte = PyBytes_Check(separator.ptr()) && PyBytes_GET_SIZE(separator.ptr()) == 1;
  const bool oneAscii = PyUnicode_Check(separator.ptr()) && PyUnicode_GET_LENGTH(separator.ptr()) == 1 &&
                        PyUnicode_READ_CHAR(separator.ptr(), 0) < 0x80;
  if (!oneByte && !oneAscii) throw py::value_error("separator must be one byte or one ASCII character");
  return bytesOf(separator, "separator")[0];
}

py::bytes listDocument(const py::object& data, const std::string& kind, const std::string& parser, const py::object& code,
                  const py::object& separator, bool header, bool skipEmpty, bool utf8, const py::object& sink) {
  const marquill::ReadOptions options{kindNamed(kind), parserNamed(parser), codeNamed(code),
                                      utf8 ? marquill::Working::Utf8 : marquill::Working::Sjis};
  const marquill::ListingFormat format{separatorOf(separator), header, skipEmpty};
  checkedSink(sink);
  const std::string document = bytesOf(data, "data");
  marquill::Text result;
  {
    py::gil_scoped_release release;
    result = marquill::listing(document, options, format);
  }
  report(result, sink);
  return bytesObject(result.text);
}

py::object fillTemplate(const py::object& templateText, const py::object& documents, const py::object& replacements,
                const std::string& kind, const std::string& parser, const py::object& code, const py::object& start,
                const py::object& end, bool nocrlf, bool listings, const std::string& workingName,
                const py::object& sink, bool csv) {
  const marquill::Working working = workingNamed(workingName);
  checkedSink(sink);
  // A str is a sequence too: one page passed alone would be read as one document per character.
  if (PyUnicode_Check(documents.ptr()) || PyBytes_Check(documents.ptr()) || !py::isinstance<py::sequence>(documents)) {
    throw py::type_error("documents must be a sequence (list or tuple) of bytes or str");
  }
  std::vector<std::string> texts;
  for (const py::handle& document : documents) texts.push_back(bytesOf(document, "every document"));
  marquill::FillOptions options;
  options.documentsAreListings = listings;
  options.read = marquill::ReadOptions{kindNamed(kind), parserNamed(parser), codeNamed(code), working};
  options.kind = csv ? marquill::FillKind::Csv : nocrlf ? marquill::FillKind::NoCrlf : marquill::FillKind::Normal;
  options.startMarker = workingBytesOf(start, "start", working);
  options.endMarker = workingBytesOf(end, "end", working);
  const std::string templateBytes = workingBytesOf(templateText, "template", working);
  std::string replacementBytes;
  if (!replacements.is_none()) {
    replacementBytes = workingBytesOf(replacements, "replacements", working);
    options.useReplacements = true;
    options.replacements = replacementBytes;
  }
  marquill::Text result;
  {
    py::gil_scoped_release release;
    const std::vector<std::string_view> views(texts.begin(), texts.end());
    result = marquill::fill(templateBytes, views, options);
  }
  report(result, sink);
  if (working == marquill::Working::Utf8) return utf8Str(result.text);
  return bytesObject(result.text);
}

py::bytes recodeText(const py::object& data, const std::string& target, const py::object& source,
                 const py::object& sink) {
  const marquill::Target to = targetNamed(target);
  const marquill::Code from = codeNamed(source);
  checkedSink(sink);
  const std::string text = bytesOf(data, "data");
  marquill::Recoded result;
  {
    py::gil_scoped_release release;
    result = marquill::recode(text, to, from, marquill::Working::Utf8);
  }
  report(result, sink);
  return bytesObject(result.text);
}

PyObject* newType(const char* name, const char* doc, PyObject* base) {
  PyObject* type = PyErr_NewExceptionWithDoc(name, doc, base, nullptr);
  if (type == nullptr) throw py::error_already_set();
  return type;
}

}  // namespace

PYBIND11_MODULE(marquill, mod) {
  using py::arg;
  mod.doc() = kModuleDoc;

  gErrorType = newType("marquill.Error",
                       "A failure of a marquill call: code (e.g. 1021), message (str), row and column "
                       "(for a structure fault; 0 otherwise).",
                       PyExc_Exception);
  gWarningType = newType("marquill.Warning",
                         "A warning of a marquill call: code (5021, 5022 or 5023) and message (str).",
                         PyExc_UserWarning);
  mod.add_object("Error", py::handle(gErrorType));
  mod.add_object("Warning", py::handle(gWarningType));

  mod.def("read", &readDocument, arg("data"), arg("kind") = "html", arg("parser") = "standard", arg("code") = py::none(),
             py::kw_only(), arg("warnings") = py::none(),
             R"doc(The tag records of one document: a list of (file, object, sequence, path, value)
tuples, path and value as str.

data: bytes (or str, taken as UTF-8). kind: "html" or "xml". parser: "standard" (today's
documents) or "classic" (the programs' scanner). code: None (decided from the bytes) or the
document's code, "utf8", "utf16", "sjis", "euc" or "jis". Names in any case; an unknown one
raises ValueError. A document that cannot be read raises marquill.Error; characters replaced
give a marquill.Warning (5023).)doc");

  mod.def("read_listing", &readListingText, arg("data"), arg("name") = "", py::kw_only(),
             arg("warnings") = py::none(),
             R"doc(The records of a tag listing in UTF-8 (as listing() writes with utf8=True), as
read()'s tuples. name stands in messages. A malformed listing raises marquill.Error.)doc");

  mod.def("listing", &listDocument, arg("data"), arg("kind") = "html", arg("parser") = "classic",
             arg("code") = py::none(), arg("separator") = "\t", arg("header") = false, arg("skip_empty") = false,
             arg("utf8") = false, py::kw_only(), arg("warnings") = py::none(),
             R"doc(One document's tag listing as bytes: byte for byte what ToolMqlInputH (kind
"html") or ToolMqlInputX ("xml") writes for it. separator, header, skip_empty and utf8 are the
tools' /p, /k, /d and /u; parser "standard" is their /s and code their /e. The listing is in
Shift-JIS unless utf8 is true. A document that cannot be read raises marquill.Error;
characters replaced give a marquill.Warning (5023).)doc");

  mod.def("fill", &fillTemplate, arg("template"), arg("documents"), arg("replacements") = py::none(),
             arg("kind") = "html", arg("parser") = "classic", arg("code") = py::none(), arg("start") = "<%",
             arg("end") = "%>", arg("nocrlf") = false, arg("listings") = false, arg("working") = "utf8",
             py::kw_only(), arg("warnings") = py::none(), arg("csv") = false,
             R"doc(The template filled with the values its items address in up to nine documents,
as Marquill writes its output file.

documents: a list of bytes or str (a str as UTF-8), the document numbers 1 to 9 in order;
with listings=True they are tag listings. replacements: the replacement-definition text, or
None. start and end: the item markers. nocrlf: TAB, CR and LF in values written as spaces.
working: "utf8" (the result is a str; template, replacements and markers in UTF-8) or "sjis"
(the result is bytes; they are in Shift-JIS, a str given is encoded so). An item without a
value gives a marquill.Warning 5021, a replacement number without an entry 5022. csv=True
writes no template but every record of every document as a tag listing line, as
[OUTFILE] KIND=CSV does (the template is not read).)doc");

  mod.def("recode", &recodeText, arg("data"), arg("target") = "utf8", arg("source") = py::none(), py::kw_only(),
             arg("warnings") = py::none(),
             R"doc(data converted to target ("utf8", "sjis", "euc" or "jis"), as ToolRecast converts
a file; source None decides the code from the bytes, else names it ("utf8", "utf16", "sjis",
"euc", "jis"). Characters the target lacks are written as the replacement mark and give a
marquill.Warning (5023).)doc");

  mod.def("version", &marquill::version, "The library's version.");
  mod.def("has_standard_parser", &marquill::hasStandardParser,
             "Whether the standard parser (parser=\"standard\") is built in.");
}
