#include "tests/test_support.h"

#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "markup/parse_tables.h"

namespace mq::test {

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

bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

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
    std::vector<std::string> env = {"PATH=/usr/bin:/bin", "LC_ALL=C"};
    // A given entry replaces a default of the same name.
    for (const std::string& e : environment) {
      const std::string name = e.substr(0, e.find('=') + 1);
      std::erase_if(env, [&name](const std::string& d) { return d.compare(0, name.size(), name) == 0; });
      env.push_back(e);
    }
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
  const ParseTableSlot& tables = gParseTables[slot];
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
  for (std::FILE*& file : files_) file = std::tmpfile();
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
  dir_ = (std::filesystem::temp_directory_path() / ("mq-" + std::to_string(getpid()) + "-" + name)).string();
  std::filesystem::remove_all(dir_);
  std::filesystem::create_directories(dir_);
}

void ScratchDir::TearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

}  // namespace mq::test
