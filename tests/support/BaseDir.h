#pragma once

// A throw-away base directory for running the program: a copy of the source tree's assets with
// the configuration's two tile servers pointed at a test's own tile server.
//
//   support::TempDir dir;
//   support::TileServer server;
//   std::filesystem::path base = support::make_base_dir(dir, server);   // dir/base
//   // pass base as the program's one argument
//
//   // Change more of the configuration after the URLs are rewritten:
//   auto base2 = support::make_base_dir(dir, server, [](nlohmann::json& config) {
//       config["elevation_encoding"] = "SINGLE_BYTE";
//       config["elevation_server"]["url"] = config["elevation_server"]["url"].get<std::string>() + "/../byte";
//   });
//
// Each server's "url" keeps its path ("/imagery", "/elevation/rg"); only scheme, host and port
// are replaced by the server's base URL. Everything else in the shipped file stays as it is.

#include <filesystem>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"

namespace support {

using ConfigEdit = std::function<void(nlohmann::json& config)>;

// The relative place of the configuration file under a base directory.
inline const std::filesystem::path CONFIG_FILE_PATH = "assets/config/Windhollow.json";

// Copies WH_SOURCE_DIR/assets to dir/base/assets (replacing an earlier copy there), rewrites
// the configuration and returns dir/base. Throws std::runtime_error when the configuration
// cannot be read or lacks a server "url".
std::filesystem::path make_base_dir(TempDir& dir, const TileServer& server, const ConfigEdit& edit = {});

// The same from any assets folder and base URL, into any (new or emptied) target directory.
std::filesystem::path make_base_dir_from(const std::filesystem::path& source_assets, const std::filesystem::path& target,
                                         const std::string& base_url, const ConfigEdit& edit = {});

// "http://127.0.0.1:8765/imagery" with base "http://127.0.0.1:4000" → "http://127.0.0.1:4000/imagery".
std::string rebase_url(const std::string& url, const std::string& base_url);

} // namespace support
