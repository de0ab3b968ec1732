#pragma once
// The addresses the program talks to: the video site (pages, thumbnails, player) and the update
// server. Each is a constant of the program that the hidden options keys "video_site" and
// "update_server" replace.

#include <QString>

namespace OnlineSites {
inline constexpr const char* kVideoSite = "http://www.youtube.com";
inline constexpr const char* kImageServer = "http://img.youtube.com";
inline constexpr const char* kUpdateServer = "https://www.vantosoft.com";

// Without a trailing "/".
QString VideoSite();
// The video site's image server; the video site itself when "video_site" replaces it.
QString ImageServer();
QString UpdateServer();

// True when `url` is an address on the video site: "http://" or "https://", the site's host
// (and port), then "/", compared without regard to letter case.
bool IsVideoPageAddress(const QString& url);
}  // namespace OnlineSites
