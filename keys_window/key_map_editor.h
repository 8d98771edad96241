#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "keymap/key_map_document.h"
#include "keymap/key_map_file.h"

// The key map file as the keys window edits it, on either platform: read once when
// opened into a KeyMapDocument (the file Load reads, judged by the same reader, with the
// platform's run check), and written back whole by the writer --learn uses
// (KeyMapFile::SaveText: a fresh file renamed over, backups). Where there is no map yet,
// the document starts as the built-in map as --print-keys writes it, so a first save
// keeps the built-in keys. A map that cannot be read, that the reader refuses or that
// may not run its commands opens read-only, with why. Used on one thread.
class KeyMapEditor {
  public:
    enum class Saved {
        Written,
        Unchanged,      // nothing was changed: nothing written
        ChangedOnDisk,  // the file is not what was read: nothing written, ask first
        Refused,        // nothing written, and why
    };

    // keysOption as --keys gave it (empty: the default place).
    explicit KeyMapEditor(std::filesystem::path keysOption);

    KeyMapDocument& Document() { return document_; }
    const KeyMapDocument& Document() const { return document_; }
    // The file written.
    const std::filesystem::path& Path() const { return read_.path; }
    // Empty when the map may be changed; else why not, a problem a line.
    const std::string& ReadOnlyWhy() const { return readOnly_; }

    // Whether the file holds other bytes than were read (or came or went since), by its
    // content, which a save in the same second as the read cannot hide.
    bool ChangedOnDisk() const;
    // What keeps the document from being written: the reader's problems, and a map that
    // runs commands where it would not be trusted to (as Load would say it).
    std::vector<std::string> Problems() const;
    // Writes the document; a file changed on disk is overwritten only with overwrite. why
    // says why not, or after Written, where the old map went (empty when nowhere).
    Saved Save(bool overwrite, std::string& why);
    // Save as a window's button does it: asks (ask's answer, true to go on) before writing
    // over a file changed on disk, then puts the map written in force (reload, when
    // given), warning of what went wrong. True when the window may close.
    bool SaveAsking(const std::function<bool(const std::string& question)>& ask,
                    const std::function<void(const std::string& warning)>& warn,
                    const std::function<bool()>& reload);

  private:
    std::filesystem::path option_;
    KeyMapFile::Read read_;
    std::string readOnly_;
    KeyMapDocument document_;
};
