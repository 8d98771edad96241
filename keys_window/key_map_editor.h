#pragma once

#include <filesystem>
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
        Removed,        // the file read (or its folder) is gone: nothing written, ask first
        ReadOnly,       // the file is marked read-only: nothing written, ask first
        Refused,        // nothing written, and why
    };
    // What the user agreed to write over, once asked.
    struct Overwrite {
        bool changed = false;   // a file changed on disk, or gone
        bool readOnly = false;  // a file marked read-only (which stays so)
    };

    // keysOption as --keys gave it (empty: the default place).
    explicit KeyMapEditor(std::filesystem::path keysOption);

    KeyMapDocument& Document() { return document_; }
    const KeyMapDocument& Document() const { return document_; }
    // The file written.
    const std::filesystem::path& Path() const { return read_.path; }
    // Empty when the map may be changed; else why not, a problem a line.
    const std::string& ReadOnlyWhy() const { return readOnly_; }

    // What keeps the document from being written: the reader's problems, and a map that
    // runs commands where it would not be trusted to (as Load would say it).
    std::vector<std::string> Problems() const;
    // Writes the document, unless what is on disk now needs the user's word first: a file
    // that holds other bytes than were read (or came since), by its content, which a save
    // in the same second as the read cannot hide; a file gone; a file marked read-only
    // (IsMarkedReadOnly). A file that cannot be read now (held by another program, made
    // unreadable) is refused with the reader's words. why says why not, or after Written,
    // where the old map went (empty when nowhere).
    Saved Save(Overwrite overwrite, std::string& why);

  private:
    // What the file on disk is now to the one read; Written when it is the same.
    Saved OnDisk(std::string& why) const;

    std::filesystem::path option_;
    KeyMapFile::Read read_;
    std::string readOnly_;
    KeyMapDocument document_;
};
