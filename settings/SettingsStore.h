// Keeps GeneratorSettings in a settings file: the file beside the program, or a named ".vmz" file
// of the same format.
#pragma once

#include <string>
#include <string_view>

#include "platform/CodePageTable.h"
#include "settings/GeneratorSettings.h"
#include "settings/Profile.h"

namespace velmora {

// Reads the thirteen keys from the file at settingsFilePath into settings, overwriting every
// field: a key that the file lacks (or a file that is missing or unreadable) gives the field its
// default. An empty path names no file: every field gets its default. Reports nothing.
void LoadSettings(GeneratorSettings& settings, const std::string& settingsFilePath,
                  Profile& profile);

// Writes the thirteen keys of settings into the file at settingsFilePath, keeping every other
// line of the file; an empty path writes nothing. A failed write does not stop the keys after it;
// the first failure's error code comes back. (The window does not look at it: it has asked
// beforehand whether the file can be written, as the system's profile functions report nothing.)
platform::Status SaveSettings(const GeneratorSettings& settings,
                              const std::string& settingsFilePath, Profile& profile);

// The same with the system's profile functions.
void LoadSettings(GeneratorSettings& settings, const std::string& settingsFilePath);
platform::Status SaveSettings(const GeneratorSettings& settings,
                              const std::string& settingsFilePath);

// The settings file that the window writes when it first closes, and that "velmora-batch --init"
// writes: every key with the value that reading gives it when the file lacks it.
std::string DefaultSettingsFileText();

// Every field as reading gives it from a file without its key: what the window starts with.
GeneratorSettings DefaultSettings();

// A settings file holding settings, every key written as the window writes it.
std::string SettingsFileText(const GeneratorSettings& settings);

// The path of a file beside the program named like it: the program's path with its extension
// replaced by extension (".ini" for the settings file, ".htm" for the read-me). The last "." is
// found character by character (CharacterWalk), so the second byte of a double-byte character
// never counts, and a lone lead byte hides no "." or "/" after it. A
// program file without an extension of its own gets extension appended, so the result stays in
// the program's folder and is never the program file itself.
std::string PathBesideProgram(std::string_view programPath, std::string_view extension,
                              const CodePageTable& table);

// The settings file beside the program; "" (no settings file) when the program path is unknown
// or the result would not fit the system's path buffers.
std::string SettingsFilePathFor(std::string_view programPath, const CodePageTable& table);

}  // namespace velmora
