#pragma once

#include <memory>
#include <string>
#include <vector>

#include "serial/serial_line.h"
#include "tests/doubles/memory_history_list.h"

// A serial line whose conditions are kept as the history shows them: an "Err" line for
// each failed setup step, a "COM READ ERROR!" line for each failed read, each with why.
struct ShownLine {
    void Configure() {
        for (const SourceCondition& condition : line->Configure()) {
            Show("Err", condition.reason);
        }
    }
    // Open then Configure, as the receiver does at start.
    void Start() {
        line->Open();
        Configure();
    }
    int ReadByte() {
        const int value = line->ReadByte();
        if (value == SerialLine::ReadFailed) {
            Show("COM READ ERROR!", line->LastFailure().reason);
        }
        return value;
    }
    std::vector<int> Read(int count) {
        std::vector<int> values;
        for (int i = 0; i < count; ++i) {
            values.push_back(ReadByte());
        }
        return values;
    }
    void Show(const std::string& text, const std::string& why) {
        list.lines.push_back(text);
        list.whys.resize(list.lines.size() - 1);
        list.whys.push_back(why);
    }

    MemoryHistoryList list;
    std::unique_ptr<SerialLine> line;
};
