#pragma once
// Every text the installer's message boxes show, in one table: the six endings of a run and the
// report of a damaged installer. Names, paths and error numbers are put around them where they are
// shown (core/Installer.cpp); the window's own lines and the suffixes the package's names take
// stand with the package's constants (core/PackageManifest.h).

namespace tazel::messages {

// Pointers to literals rather than arrays: the linker then merges equal texts and packs them
// without an array's alignment, which keeps the installer's read-only data within its page.

// "No Embedded File Info!": the package names no main file.
inline constexpr const wchar_t* kNoEmbeddedFileInfo = L"No Embedded File Info!";

// The default folder is missing: OK browses, Cancel ends the run. Titled "<folder> not found.".
inline constexpr const wchar_t* kDefaultFolderMissing =
    L"Default destination folder not found.\r\n"
    L"Make sure Ombrix has already been installed.\r\n"
    L"Select OK to browse for Ombrix\\graphics folder or CANCEL to Exit.";
inline constexpr const wchar_t* kNotFoundSuffix = L" not found.";

// The browse dialog gave no folder.
inline constexpr const wchar_t* kNoFolderSpecified = L"No folder specified.";
inline constexpr const wchar_t* kNoFolderSpecifiedTitle = L"Folder not specified.";

// The folder failed its second test. Titled "<folder> not found.".
inline constexpr const wchar_t* kDestinationNotFound = L"Destination folder not found.";

// The copy stage failed.
inline constexpr const wchar_t* kUnexpectedError = L"Unexpected Error!";
inline constexpr const wchar_t* kUnexpectedErrorTitle = L"Error";

// Every file written: "<display name> Installed!".
inline constexpr const wchar_t* kSuccessTitle = L"Success!";

// The second line of the endings above that name the installer: "<installer name> will now exit.".
inline constexpr const wchar_t* kWillNowExitSuffix = L" will now exit.";

// The generic report of a failure before the copy stage: "Error <n> (0x<hex>):" and the system's
// text. A damaged installer is reported the same way, with this text.
inline constexpr const wchar_t* kErrorPrefix = L"Error ";
inline constexpr const wchar_t* kDamagedReport =
    L"This installer is damaged: its files do not match what it was made with. "
    L"Download a new copy of ";
inline constexpr const wchar_t* kThisInstaller = L"this installer";

} // namespace tazel::messages
