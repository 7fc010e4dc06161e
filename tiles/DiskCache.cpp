#include "tiles/DiskCache.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <system_error>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <fmt/format.h>

#include "console/Console.h"

namespace fs = std::filesystem;

namespace {

// write(2) until everything is written or an error other than EINTR.
bool write_all(int fd, const unsigned char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Reads "<prefix><u32>" from the front of text, the number as to_string writes it (no sign, no
// leading zero); false when it is not there.
bool take_number(std::string_view& text, std::string_view prefix)
{
    if (text.substr(0, prefix.size()) != prefix) {
        return false;
    }
    text.remove_prefix(prefix.size());
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    const size_t digits = static_cast<size_t>(end - text.data());
    if (error != std::errc() || digits == 0 || (text[0] == '0' && digits > 1)) {
        return false;
    }
    text.remove_prefix(digits);
    return true;
}

std::string tile_file_name(TileId tile) { return fmt::format("{}.png", to_string(tile)); }

struct TileFile {
    fs::path path;
    uint64_t bytes = 0;
    struct timespec modified {};
};

bool older(const TileFile& a, const TileFile& b)
{
    return a.modified.tv_sec != b.modified.tv_sec ? a.modified.tv_sec < b.modified.tv_sec
                                                  : a.modified.tv_nsec < b.modified.tv_nsec;
}

// The tile files of the folder (regular files of the cache's naming, links not followed).
// Calls on_temporary for each temporary file with its age in seconds. Plain readdir and
// fstatat: a full 1 GiB folder holds tens of thousands of files, and this runs at start.
template <typename OnTemporary>
std::vector<TileFile> scan(const fs::path& dir, OnTemporary&& on_temporary)
{
    std::vector<TileFile> files;
    DIR* stream = ::opendir(dir.c_str());
    if (stream == nullptr) {
        return files;
    }
    const int dir_fd = ::dirfd(stream);
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view name(entry->d_name);
        const bool tile = is_tile_file_name(name);
        if (!tile && !is_temporary_file_name(name)) {
            continue;
        }
        struct stat info {};
        if (::fstatat(dir_fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) {
            continue;
        }
        if (tile) {
            files.push_back({dir / std::string(name), static_cast<uint64_t>(info.st_size), info.st_mtim});
        } else {
            on_temporary(dir / std::string(name), now - info.st_mtim.tv_sec);
        }
    }
    ::closedir(stream);
    return files;
}

} // namespace

bool is_tile_file_name(std::string_view name)
{
    return take_number(name, "z=") && take_number(name, ", x=") && take_number(name, ", y=") && name == ".png";
}

bool is_temporary_file_name(std::string_view name)
{
    constexpr size_t SUFFIX = 7; // "." and the six characters mkstemp fills in
    if (name.size() < 1 + SUFFIX || name.front() != '.' || name[name.size() - SUFFIX] != '.') {
        return false;
    }
    const std::string_view suffix = name.substr(name.size() - SUFFIX + 1);
    const bool random = std::all_of(suffix.begin(), suffix.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
    return random && is_tile_file_name(name.substr(1, name.size() - 1 - SUFFIX));
}

DiskCache::DiskCache(fs::path dir, bool enabled, uint64_t max_bytes)
    : m_dir(std::move(dir)), m_enabled(enabled && !m_dir.empty()), m_max_bytes(max_bytes)
{
    if (!m_enabled) {
        return;
    }
    std::error_code error;
    const fs::file_status status = fs::status(m_dir, error);
    if (fs::exists(status) && !fs::is_directory(status)) {
        error = std::make_error_code(std::errc::not_a_directory);
    } else if (!fs::exists(status)) {
        error.clear();
        fs::create_directories(m_dir, error);
    }
    if (!error && ::access(m_dir.c_str(), W_OK | X_OK) != 0) {
        error = std::error_code(errno, std::generic_category());
    }
    if (error) {
        // The tiles still come over the network; only the next run pays for it.
        console::eprint("No disk cache for {}: {}\n", console::quoted(m_dir), error.message());
        m_enabled = false;
        return;
    }
    const std::vector<TileFile> files = scan(m_dir, [](const fs::path& temporary, time_t age_seconds) {
        if (age_seconds > std::chrono::seconds(STALE_TEMPORARY).count()) {
            ::unlink(temporary.c_str());
        }
    });
    for (const TileFile& file : files) {
        m_bytes_at_start += file.bytes;
    }
    m_files_at_start = files.size();
    m_bytes = m_bytes_at_start;
    m_over_limit_at_start = m_max_bytes > 0 && m_bytes_at_start > m_max_bytes;
    m_evict_due = m_over_limit_at_start;
}

fs::path DiskCache::path(TileId tile) const { return m_dir / tile_file_name(tile); }

gfx::Image DiskCache::read(TileId tile)
{
    gfx::Image cached;
    if (!m_enabled) {
        return cached;
    }
    const fs::path file = path(tile);
    std::error_code error;
    const bool exists = fs::exists(file, error);
    if (error) {
        // Anything but "not found" (a loop of links, a directory we may not search).
        throw fs::filesystem_error("exists", file, error);
    }
    if (exists && cached.load(file, false)) {
        // Recently used: the size limit removes the files read longest ago first.
        ::utimensat(AT_FDCWD, file.c_str(), nullptr, 0);
    }
    return cached;
}

bool DiskCache::write(TileId tile, const gfx::Image& image)
{
    if (!m_enabled) {
        return false;
    }
    const std::vector<unsigned char> png = gfx::encode_png(image);
    if (png.empty()) {
        return false;
    }
    // Written under a unique name in the same directory and renamed into place, so no reader
    // (another worker, another service or program sharing the directory) ever sees a partial
    // file under the tile's name. A failed write costs only a fetch next run, but a user
    // whose disk is full should hear of it: once, and again only after writes worked again.
    const fs::path target = path(tile);
    std::string temp = (m_dir / fmt::format(".{}.XXXXXX", target.filename().string())).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        write_failed(errno);
        return false;
    }
    ::fchmod(fd, 0644);
    const bool written = write_all(fd, png.data(), png.size());
    int error = written ? 0 : errno;
    const bool closed = ::close(fd) == 0;
    if (!closed && written) {
        error = errno;
    }
    const bool renamed = written && closed && ::rename(temp.c_str(), target.c_str()) == 0;
    if (written && closed && !renamed) {
        error = errno;
    }
    if (!renamed) {
        ::unlink(temp.c_str());
        write_failed(error);
        return false;
    }
    m_write_failing = false;
    const uint64_t bytes = m_bytes.fetch_add(png.size()) + png.size();
    return m_max_bytes > 0 && bytes > m_max_bytes && !m_evict_due.exchange(true);
}

void DiskCache::write_failed(int error)
{
    if (!m_write_failing.exchange(true)) {
        console::eprint("Could not write tiles to the disk cache {}: {}\n", console::quoted(m_dir),
                        std::generic_category().message(error != 0 ? error : EIO));
    }
}

void DiskCache::evict()
{
    if (!m_enabled || m_max_bytes == 0) {
        m_evict_due = false;
        return;
    }
    std::vector<TileFile> files = scan(m_dir, [](const fs::path&, time_t) {});
    uint64_t total = 0;
    for (const TileFile& file : files) {
        total += file.bytes;
    }
    const uint64_t target = m_max_bytes - m_max_bytes / 10;
    if (total > m_max_bytes) {
        std::sort(files.begin(), files.end(), older);
        for (const TileFile& file : files) {
            if (total <= target) {
                break;
            }
            if (::unlink(file.path.c_str()) == 0 || errno == ENOENT) {
                total -= file.bytes;
            }
        }
    }
    m_bytes = total;
    m_evict_due = false;
}
