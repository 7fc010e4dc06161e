#pragma once

// A temporary directory that exists for the lifetime of the object and is removed with
// everything in it when the object goes.
//
//   support::TempDir dir;                       // e.g. /tmp/wh-test-Ab12Cd
//   support::write_file(dir / "a.json", "{}");
//   auto text = support::read_file(dir / "a.json");

#include <filesystem>
#include <string>
#include <string_view>

namespace support {

class TempDir {
public:
    // Creates a fresh directory under the system temporary directory; throws on failure.
    explicit TempDir(std::string_view prefix = "wh-test");
    ~TempDir();

    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    TempDir(TempDir&& other) noexcept;
    TempDir& operator=(TempDir&& other) noexcept;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& relative) const { return m_path / relative; }

private:
    void remove() noexcept;
    std::filesystem::path m_path;
};

// Whole-file helpers; both throw std::runtime_error naming the path on failure.
std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, std::string_view content);

} // namespace support
