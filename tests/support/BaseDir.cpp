#include "tests/support/BaseDir.h"

#include <stdexcept>

namespace support {

std::string rebase_url(const std::string& url, const std::string& base_url)
{
    size_t scheme_end = url.find("://");
    size_t path_start = scheme_end == std::string::npos ? std::string::npos : url.find('/', scheme_end + 3);
    return base_url + (path_start == std::string::npos ? std::string() : url.substr(path_start));
}

std::filesystem::path make_base_dir_from(const std::filesystem::path& source_assets, const std::filesystem::path& target,
                                         const std::string& base_url, const ConfigEdit& edit)
{
    std::filesystem::remove_all(target);
    std::filesystem::create_directories(target);
    std::filesystem::copy(source_assets, target / "assets", std::filesystem::copy_options::recursive);

    std::filesystem::path config_path = target / CONFIG_FILE_PATH;
    nlohmann::json config;
    try {
        config = nlohmann::json::parse(read_file(config_path));
        for (const char* server : {"texture_server", "elevation_server"}) {
            nlohmann::json& url = config.at(server).at("url");
            url = rebase_url(url.get<std::string>(), base_url);
        }
    } catch (const nlohmann::json::exception& error) {
        throw std::runtime_error("cannot rewrite " + config_path.string() + ": " + error.what());
    }
    if (edit) {
        edit(config);
    }
    write_file(config_path, config.dump(2) + "\n");
    return target;
}

std::filesystem::path make_base_dir(TempDir& dir, const TileServer& server, const ConfigEdit& edit)
{
    return make_base_dir_from(std::filesystem::path(WH_SOURCE_DIR) / "assets", dir / "base", server.base_url(), edit);
}

} // namespace support
