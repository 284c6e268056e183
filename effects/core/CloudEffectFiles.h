#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "EffectRecords.h"

// Where cloud effects live on disk: {data}/CloudEff/{category}/{file}, and the download marks in
// {data}/CloudEff/Download.ini. Category names and file names come from the network: they are
// made safe before they become path components, and every path is checked to stay inside
// CloudEff.
namespace effects {

inline constexpr char16_t kDownloadIni[] = u"Download.ini";
inline constexpr char16_t kDownloadSection[] = u"Download";

// The file name of an effect's URL: the part after its last "/" (after its last "\" when it has
// none), without a query or fragment, made safe. Empty when nothing usable is left.
std::u16string CloudEffectFileName(std::u16string_view url);

// {data}/CloudEff/{category}/{file name of url}; empty when the category or file name is not
// usable or the path would leave CloudEff.
std::filesystem::path CloudEffectLocalPath(const std::filesystem::path& dataFolder,
                                           std::u16string_view category, std::u16string_view url);

std::filesystem::path DownloadIniPath(const std::filesystem::path& dataFolder);

// The "Download" value of a file name (0 when absent).
int ReadDownloadMark(const std::filesystem::path& dataFolder, std::u16string_view fileName);
bool WriteDownloadMark(const std::filesystem::path& dataFolder, std::u16string_view fileName,
                       bool complete);

// The mark a leaf gets when the tree is built: the file's "Download" value when the file exists,
// otherwise 0.
int DownloadMarkOf(const std::filesystem::path& dataFolder, std::u16string_view category,
                   std::u16string_view url);

// Downloaded: the flag is set, the local file exists and its "Download" value is not 0.
bool IsEffectDownloaded(const std::filesystem::path& dataFolder, int flag,
                        std::u16string_view category, std::u16string_view url);

// The record kept in the settings file for a finished download.
model::CloudEffectEntry MakeDownloadRecord(std::u16string_view name, std::u16string_view category,
                                           const std::filesystem::path& localPath);

}  // namespace effects
