#include "support/temp_tree.h"

#ifndef _WIN32
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif
#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace orvane::test {
namespace {

// Byte strings are UTF-8 on Windows; elsewhere a path is its bytes.
fs::path toPath(const std::string& s)
{
#ifdef _WIN32
    return fs::path(std::u8string(s.begin(), s.end()));
#else
    return fs::path(s);
#endif
}

std::string fromPath(const fs::path& p)
{
#ifdef _WIN32
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
#else
    return p.string();
#endif
}

fs::path makeUniqueFolder()
{
    std::random_device seed;
    std::mt19937_64 random(seed());
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = base / ("orvane-test-" + std::to_string(random()));
        if (fs::create_directory(candidate))
            return candidate;
    }
    throw std::runtime_error("cannot create a temporary folder in " + base.string());
}

} // namespace

TempTree::TempTree() : root_(makeUniqueFolder()) {}

TempTree::~TempTree()
{
    std::error_code ignored;
    // A test may have taken permissions away; give them back so all can go.
    for (auto it = fs::recursive_directory_iterator(root_, ignored); !ignored && it != fs::end(it);
         it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(root_, ignored);
}

fs::path TempTree::fsPath(const std::string& rel) const
{
    return rel.empty() ? root_ : (root_ / toPath(rel)).make_preferred();
}

std::string TempTree::path(const std::string& rel) const
{
    return fromPath(fsPath(rel));
}

std::string TempTree::makeFolder(const std::string& rel)
{
    fs::create_directories(fsPath(rel));
    return path(rel);
}

std::string TempTree::makeFile(const std::string& rel, const std::string& bytes)
{
    const fs::path p = fsPath(rel);
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + fromPath(p));
    return path(rel);
}

std::string TempTree::makeLink(const std::string& rel, const std::string& target)
{
    const fs::path p = fsPath(rel);
    fs::create_directories(p.parent_path());
    fs::create_symlink(toPath(target), p);
    return path(rel);
}

void TempTree::setModified(const std::string& rel, std::chrono::system_clock::time_point when)
{
    fs::last_write_time(fsPath(rel), fs::file_time_type::clock::from_sys(when));
}

void TempTree::setPermissions(const std::string& rel, fs::perms perms)
{
    fs::permissions(fsPath(rel), perms, fs::perm_options::replace);
}

void TempTree::remove(const std::string& rel)
{
    fs::remove_all(fsPath(rel));
}

#ifndef _WIN32
void makeSocket(const std::string& path)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0) << std::strerror(errno);
    close(fd); // the socket file stays behind
}
#endif

} // namespace orvane::test
