// Where a run's files come from and go to: the update host, URL schemes, the temporary folder,
// the local names of the downloads and the folders programs start in.
#pragma once

#include <string>

// The user's temporary folder, ending with the path separator.
std::u16string TempPath();
// Deletes the files of folder matching the wildcard mask; failures are silent.
void DeleteByMask(const std::u16string& folder, const std::u16string& mask);

// "http://" + rest becomes "https://" + rest when secure (exact, lower-case prefix only).
std::u16string ApplyScheme(const std::u16string& url, bool secure);

// The update server: the environment variable ORVELLE_UPDATE_HOST (host or host:port) when it
// is set and not empty, else the host the program was built with.
std::u16string UpdateHost();
std::u16string ManifestUrl();

// From the last "." to the end, unless a "\" or ":" follows that "."; else empty.
std::u16string UrlExtension(const std::u16string& url);

// The path up to and including its last separator ("\" or ":" on Windows, "/" elsewhere);
// empty when it has none.
std::u16string FolderOf(const std::u16string& path);
// The folder of the running program.
std::u16string ProgramFolder();
