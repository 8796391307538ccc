// The floor that the whole-process benchmark (whole_process.py) measures the two LISP functions
// against: the least work with the operating system's calls that a read of a drawing's
// properties or a crash-safe replace of a drawing must do, over a list of files, timed here so
// that neither a process start nor an interpreter is in the figure.
//
//   file_floor read LIST      for each file: open, read its first 64 KiB (or all of a smaller
//                             file), close
//   file_floor replace LIST   for each file: read it whole, write it to a new file beside it,
//                             fsync that, close, rename it over the file, fsync the folder
//
// LIST holds one path per line, all in one folder for `replace`. Prints the seconds the loop
// took; exit status 1 (with the reason) when a call fails.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kHead = 64 * 1024;

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    std::fprintf(stderr, "file_floor: %s %s: %s\n", what.c_str(), path.c_str(),
                 std::strerror(errno));
    std::exit(1);
}

void readHead(const std::string& path, std::vector<char>& buffer) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail("open", path);
    std::size_t got = 0;
    while (got < kHead) {
        ssize_t n = ::read(fd, buffer.data() + got, kHead - got);
        if (n < 0)
            fail("read", path);
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

// The whole file into `data`.
void readAll(const std::string& path, std::string& data) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail("open", path);
    data.clear();
    char chunk[65536];
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) != 0;) {
        if (n < 0)
            fail("read", path);
        data.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
}

void replace(const std::string& path, int folder, std::string& data) {
    readAll(path, data);
    const std::string temp = path + ".new";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        fail("create", temp);
    for (std::size_t done = 0; done < data.size();) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0)
            fail("write", temp);
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0)
        fail("fsync", temp);
    ::close(fd);
    if (::rename(temp.c_str(), path.c_str()) != 0)
        fail("rename", temp);
    if (::fsync(folder) != 0)
        fail("fsync the folder of", path);
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc == 3 ? argv[1] : "";
    if (mode != "read" && mode != "replace") {
        std::fprintf(stderr, "usage: file_floor read|replace LIST\n");
        return 2;
    }
    std::vector<std::string> paths;
    std::ifstream list(argv[2]);
    for (std::string line; std::getline(list, line);)
        if (!line.empty())
            paths.push_back(line);
    if (paths.empty()) {
        std::fprintf(stderr, "file_floor: no paths in %s\n", argv[2]);
        return 2;
    }
    const std::string folderPath = paths[0].substr(0, paths[0].find_last_of('/') + 1) + ".";
    int folder = ::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        fail("open", folderPath);
    std::vector<char> buffer(kHead);
    std::string data;
    const auto started = std::chrono::steady_clock::now();
    for (const std::string& path : paths) {
        if (mode == "read")
            readHead(path, buffer);
        else
            replace(path, folder, data);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    std::printf("%.6f\n", elapsed.count());
    ::close(folder);
    return 0;
}
