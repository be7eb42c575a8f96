#include "tests/test_support.h"

#include "common/platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <initializer_list>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "markup/parse_tables.h"

namespace mq::test {

namespace {

// The environment of a child: `environment` entries replace defaults of the same name.
std::vector<std::string> childEnvironment(std::vector<std::string> defaults, const std::vector<std::string>& environment) {
  for (const std::string& e : environment) {
    const std::string name = e.substr(0, e.find('=') + 1);
    std::erase_if(defaults, [&name](const std::string& d) { return d.compare(0, name.size(), name) == 0; });
    defaults.push_back(e);
  }
  return defaults;
}

}  // namespace

#ifdef _WIN32
namespace {

// The code pages of the iconv names the tests use. ISO-2022-JP has none that Wine knows: it is
// written from EUC-JP, each two-byte run between ESC $ B and ESC ( B.
UINT codePageOf(const std::string& name) {
  if (name == "UTF-8") return CP_UTF8;
  if (name == "CP932" || name == "SHIFT_JIS") return 932;
  if (name == "EUC-JP" || name == "ISO-2022-JP") return 20932;
  throw std::runtime_error("no code page for " + name);
}

std::string eucToIso2022Jp(const std::string& euc) {
  std::string jis;
  bool twoByte = false;
  for (std::size_t i = 0; i < euc.size(); ++i) {
    const auto byte = static_cast<unsigned char>(euc[i]);
    if (byte >= 0xA1 && byte <= 0xFE && i + 1 < euc.size()) {
      if (!twoByte) jis += "\x1B$B";
      twoByte = true;
      jis += static_cast<char>(byte & 0x7F);
      jis += static_cast<char>(euc[++i] & 0x7F);
    } else if (byte < 0x80) {
      if (twoByte) jis += "\x1B(B";
      twoByte = false;
      jis += static_cast<char>(byte);
    } else {
      throw std::runtime_error("text not convertible");  // half-width katakana, JIS X 0212
    }
  }
  if (twoByte) jis += "\x1B(B";
  return jis;
}

}  // namespace

std::string convert(const std::string& text, const char* from, const char* to) {
  if (text.empty()) return "";
  const UINT source = codePageOf(from);
  const UINT target = codePageOf(to);
  const int length = static_cast<int>(text.size());
  std::wstring wide(text.size() + 1, L'\0');
  const int units = MultiByteToWideChar(source, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(), length + 1);
  if (units <= 0) throw std::runtime_error("text not convertible");
  std::string out(text.size() * 4 + 16, '\0');
  BOOL defaulted = FALSE;
  const int produced = WideCharToMultiByte(target, target == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS, wide.data(), units,
                                           out.data(), static_cast<int>(out.size()), nullptr,
                                           target == CP_UTF8 ? nullptr : &defaulted);
  if (produced <= 0 || defaulted) throw std::runtime_error("text not convertible");
  out.resize(static_cast<std::size_t>(produced));
  return std::string(to) == "ISO-2022-JP" ? eucToIso2022Jp(out) : out;
}
#else
std::string convert(const std::string& text, const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv conversion unavailable");
  std::string out(text.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char* target = out.data();
  std::size_t outLeft = out.size();
  std::size_t done = iconv(cd, &in, &inLeft, &target, &outLeft);
  // Stateful codes end with their shift back to one-byte mode.
  if (done != static_cast<std::size_t>(-1)) done = iconv(cd, nullptr, nullptr, &target, &outLeft);
  iconv_close(cd);
  if (done == static_cast<std::size_t>(-1)) throw std::runtime_error("text not convertible");
  out.resize(out.size() - outLeft);
  return out;
}

#endif

std::string sjis(const std::string& utf8) { return convert(utf8, "UTF-8", "CP932"); }

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

#ifdef _WIN32
std::FILE* temporaryFile() {
  static int files = 0;
  const std::string name = std::filesystem::temp_directory_path().string() + "\\mq-stream-" +
                           std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++files);
  return std::fopen(name.c_str(), "w+bD");  // D: removed at the close
}
#else
std::FILE* temporaryFile() { return std::tmpfile(); }
#endif

bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

#ifdef _WIN32
namespace {

// A file for one of the child's standard streams, inherited by it.
HANDLE inheritableFile(const std::string& name, bool forWriting) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileA(name.c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &inherit, forWriting ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A box's line as the platform layer writes it to the debugger, in the shape of the
// terminal's dialog.
std::string boxAsShown(const std::string& line) {
  static const std::string question = " [OK/Cancel]";
  static const std::string report = " [OK]";
  if (line.size() >= question.size() && line.compare(line.size() - question.size(), question.size(), question) == 0) {
    return line + " ";
  }
  if (line.size() >= report.size() && line.compare(line.size() - report.size(), report.size(), report) == 0) {
    return line.substr(0, line.size() - report.size()) + "\n";
  }
  return "[debugger output: " + line + "]\n";
}

// Follows the child as its debugger until it ends: every event stops it until it is
// continued, so the boxes are read in order and nothing depends on timing.
void followAsDebugger(const PROCESS_INFORMATION& process, std::string* boxes) {
  for (;;) {
    DEBUG_EVENT event{};
    if (!WaitForDebugEvent(&event, INFINITE)) throw std::runtime_error("WaitForDebugEvent");
    DWORD continuation = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case OUTPUT_DEBUG_STRING_EVENT: {
        const OUTPUT_DEBUG_STRING_INFO& info = event.u.DebugString;
        std::string line(info.nDebugStringLength, '\0');
        SIZE_T got = 0;
        ReadProcessMemory(process.hProcess, info.lpDebugStringData, line.data(), line.size(), &got);
        line.resize(got);
        while (!line.empty() && line.back() == '\0') line.pop_back();
        *boxes += boxAsShown(line);
        break;
      }
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile != nullptr) CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile != nullptr) CloseHandle(event.u.LoadDll.hFile);
        break;
      case EXCEPTION_DEBUG_EVENT:
        // The loader's breakpoint is the debugger's to take; every other exception is the child's.
        if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
          continuation = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
      default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continuation);
    if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT && event.dwProcessId == process.dwProcessId) return;
  }
}

}  // namespace

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& directory, const std::string& input,
                         const std::vector<std::string>& environment) {
  char fullPath[MAX_PATH];
  if (GetFullPathNameA(program.c_str(), MAX_PATH, fullPath, nullptr) == 0) throw std::runtime_error("program path");
  std::string commandLine = std::string("\"") + fullPath + "\"";
  // An argument with blanks is quoted, as a shell's user quotes it: the C runtime groups it.
  for (const std::string& a : arguments) {
    commandLine += a.find_first_of(" \t") == std::string::npos ? " " + a : " \"" + a + "\"";
  }

  static int runs = 0;
  const std::string streams = std::filesystem::temp_directory_path().string() + "\\mq-run-" +
                              std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++runs) + "-";
  writeFile(streams + "in", input);
  HANDLE in = inheritableFile(streams + "in", false);
  HANDLE out = inheritableFile(streams + "out", true);
  HANDLE err = inheritableFile(streams + "err", true);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;

  std::string block;
  if (!environment.empty()) {
    std::vector<std::string> inherited;
    char* all = GetEnvironmentStringsA();
    for (const char* e = all; *e != '\0'; e += std::strlen(e) + 1) inherited.emplace_back(e);
    FreeEnvironmentStringsA(all);
    for (const std::string& e : childEnvironment(inherited, environment)) block += e + '\0';
    block += '\0';
  }

  PROCESS_INFORMATION process{};
  // Detached: no console of its own, which would be one more process holding its streams.
  const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                      DEBUG_ONLY_THIS_PROCESS | DETACHED_PROCESS,
                                      block.empty() ? nullptr : block.data(), directory.c_str(), &startup, &process);
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  if (!started) throw std::runtime_error("CreateProcess " + commandLine);

  ProgramResult result;
  followAsDebugger(process, &result.boxes);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  result.exitCode = static_cast<int>(code);
  result.out = readFile(streams + "out");
  result.err = readFile(streams + "err");
  std::error_code ignored;
  for (const char* name : {"in", "out", "err"}) std::filesystem::remove(streams + name, ignored);
  return result;
}

std::string bareSettingsFolder(const std::string&) {
  char folder[MAX_PATH];
  const UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
  return std::string(folder, length);
}

void useUtcTimeZone() {
  _putenv_s("TZ", "UTC0");
  _tzset();
}

int currentProcessId() { return static_cast<int>(GetCurrentProcessId()); }
#else
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& directory, const std::string& input,
                         const std::vector<std::string>& environment) {
  int inPipe[2], outPipe[2], errPipe[2];
  if (pipe(inPipe) != 0 || pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe");
  // A program that ends without reading its input (an option error) closes the pipe under
  // the answer still being written: that write must fail, not end the test with SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  const pid_t child = fork();
  if (child == 0) {
    std::signal(SIGPIPE, SIG_DFL);
    dup2(inPipe[0], 0);
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) close(fd);
    if (chdir(directory.c_str()) != 0) _exit(120);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // A Shift-JIS terminal by default, as the expected texts are written; tests of other
    // terminals name their locale.
    std::vector<std::string> env = childEnvironment({"PATH=/usr/bin:/bin", "LC_ALL=ja_JP.SJIS"}, environment);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(121);
  }
  close(inPipe[0]);
  close(outPipe[1]);
  close(errPipe[1]);
  std::size_t written = 0;
  if (input.empty()) {
    close(inPipe[1]);
    inPipe[1] = -1;
  }
  ProgramResult result;
  pollfd fds[3] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}, {inPipe[1], POLLOUT, 0}};
  int open = 2;
  while (open > 0 || fds[2].fd >= 0) {
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP))) {
        char buffer[65536];
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n <= 0) {
          close(fds[i].fd);
          fds[i].fd = -1;
          --open;
        } else {
          (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
        }
      }
    }
    if (fds[2].fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t n =
          (fds[2].revents & POLLOUT) ? write(fds[2].fd, input.data() + written, input.size() - written) : -1;
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n <= 0 || written == input.size()) {
        close(fds[2].fd);
        fds[2].fd = -1;
      }
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::string bareSettingsFolder(const std::string& currentFolder) { return currentFolder; }

void useUtcTimeZone() {
  setenv("TZ", "UTC", 1);
  tzset();
}

int currentProcessId() { return static_cast<int>(getpid()); }
#endif

void expectToolDialog(const ProgramResult& result, const std::string& err, const std::string& out) {
  if (kDialogsOnTerminal) {
    EXPECT_EQ(result.err, err);
    EXPECT_EQ(result.out, out);
  } else {
    EXPECT_EQ(result.boxes, err + out);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "");
  }
}

std::string onTerminal(const std::string& text) {
#ifdef _WIN32
  std::string crlf;
  for (const char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return crlf;
#else
  return text;
#endif
}

bool acceptsQuestion(const std::string& answer) {
  std::string word;
  for (const char c : answer.substr(0, answer.find('\n'))) {
    if (c != ' ' && c != '\t' && c != '\r') word += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  return word == "OK" || word == "O" || word == "Y" || word == "YES";
}

std::string hex(const char* text) {
  std::string bytes;
  unsigned int value = 0;
  int consumed = 0;
  while (std::sscanf(text, " %2x%n", &value, &consumed) == 1) {
    bytes.push_back(static_cast<char>(value));
    text += consumed;
  }
  return bytes;
}

std::string hexOf(const std::string& bytes) {
  std::string text;
  char cell[4];
  for (const char byte : bytes) {
    std::snprintf(cell, sizeof cell, "%s%02X", text.empty() ? "" : " ", static_cast<unsigned char>(byte));
    text += cell;
  }
  return text;
}

std::vector<std::string> logEntries(const std::string& logBytes) {
  std::vector<std::string> entries;
  std::size_t at = 0;
  while (at < logBytes.size()) {
    std::size_t end = logBytes.find("\r\n", at);
    if (end == std::string::npos) end = logBytes.size();
    const std::string line = logBytes.substr(at, end - at);
    entries.push_back(line.size() >= 20 ? line.substr(20) : line);
    at = end + 2;
  }
  return entries;
}

std::vector<std::string> listingLines(int slot) {
  std::vector<std::string> lines;
  const ParseTableSlot& tables = testRun().tables[slot];
  for (int32_t i = 0; i < tables.recordCount; ++i) {
    const TagRecord& r = *recordAt(tables, i);
    std::string line = std::to_string(slot + 1) + "\t" + std::to_string(r.objectNo) + "\t" + std::to_string(r.seqNo) +
                       "\t" + std::string(tagPathOf(tables, r), static_cast<std::size_t>(r.tagNameLength)) + "\t";
    if (r.contentOffset != -1) line.append(contentOf(tables, r), static_cast<std::size_t>(r.contentLength));
    lines.push_back(line);
  }
  return lines;
}

ConsoleCapture::ConsoleCapture(const std::string& answer, ConsoleCode code) {
  for (std::FILE*& file : files_) file = temporaryFile();
  std::fputs(answer.c_str(), files_[0]);
  std::rewind(files_[0]);
  setConsole(ConsoleStreams{files_[0], files_[1], files_[2], code});
}

ConsoleCapture::~ConsoleCapture() {
  resetConsole();
  for (std::FILE* file : files_) std::fclose(file);
}

std::string ConsoleCapture::drain(std::FILE* file) {
  std::rewind(file);
  std::string bytes;
  for (int c; (c = std::getc(file)) != EOF;) bytes += static_cast<char>(c);
  return bytes;
}

void ScratchDir::SetUp() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  dir_ = (std::filesystem::temp_directory_path() / ("mq-" + std::to_string(currentProcessId()) + "-" + name)).string();
  std::filesystem::remove_all(dir_);
  std::filesystem::create_directories(dir_);
}

void ScratchDir::TearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

bool systemConvertsCodes() {
  void* converter = openCodeConverter("UTF-8", "CP932");
  closeCodeConverter(converter);
  return converter != nullptr;
}

}  // namespace mq::test

namespace mq {

OutputRun& testRun() {
  static OutputRun* const run = new OutputRun{};
  return *run;
}

}  // namespace mq
