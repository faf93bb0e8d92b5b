#include "tools/galerie/site_files.h"

#include "platform/user_error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string HiddenNameBeside(const std::string& path) {
    static unsigned counter = 0;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return folder + "." + base + "." + std::to_string(::getpid()) + "." +
           std::to_string(++counter) + ".part";
}

[[noreturn]] void Fail(const std::string& path) {
    throw UserError(path + " kann nicht geschrieben werden: " + std::strerror(errno));
}

void Publish(const std::string& hidden, const std::string& path) {
    if (std::rename(hidden.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(hidden.c_str());
        errno = error;
        Fail(path);
    }
}

} // namespace

bool MakeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

void WriteSiteFile(const std::string& path, std::string_view bytes) {
    const std::string hidden = HiddenNameBeside(path);
    const int fd = ::open(hidden.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        Fail(path);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(hidden.c_str());
            errno = error;
            Fail(path);
        }
        done += static_cast<std::size_t>(written);
    }
    if (::close(fd) != 0) {
        ::unlink(hidden.c_str());
        Fail(path);
    }
    Publish(hidden, path);
}

void WriteSiteFileIfChanged(const std::string& path, std::string_view bytes) {
    std::ifstream in(path, std::ios::binary);
    if (in) {
        std::ostringstream old;
        old << in.rdbuf();
        if (old.str() == bytes)
            return;
    }
    WriteSiteFile(path, bytes);
}

void PlaceSitePicture(const std::string& source, const std::string& path) {
    const std::string hidden = HiddenNameBeside(path);
    if (::link(source.c_str(), hidden.c_str()) == 0) {
        Publish(hidden, path);
        return;
    }
    // Another file system, or one without hard links: a copy then.
    WriteSiteFile(path, ReadSiteInput(source));
}

std::string ReadSiteInput(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw UserError(path + " kann nicht gelesen werden: " + std::strerror(errno));
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        throw UserError(path + " kann nicht gelesen werden");
    return bytes.str();
}
