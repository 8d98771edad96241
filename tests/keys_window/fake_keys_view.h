#pragma once

#include <deque>
#include <string>
#include <vector>

#include "keys_window/keys_presenter.h"
#include "keys_window/keys_view.h"

// A keys window without a toolkit: what the presenter shows is kept, the fields are set by
// the test as a user would, and each question is answered from a queue (No when it is
// empty), the questions kept. Closing asks the presenter first, as a window does.
class FakeKeysView : public KeysView {
  public:
    Fields fields;
    Needed needed;
    std::vector<std::string> sections;
    std::vector<std::string> modes;
    std::string search;
    std::vector<TableLine> table;
    int selected = -1;
    std::string readOnly;
    bool learning = false;
    std::string mistakes;
    std::string prompt;
    std::string whyNot;
    std::deque<Answer> answers;
    std::vector<std::string> asked;
    std::vector<std::string> warnings;
    std::optional<std::string> newSection;
    int learnt = 0;  // times the capture's handler was called
    int closes = 0;  // times the window was closed
    KeysPresenter* presenter = nullptr;

    Fields ReadFields() const override { return fields; }
    void SetFields(const Fields& set) override { fields = set; }
    void ShowNeeded(const Needed& shown) override { needed = shown; }
    void SetChoices(const std::vector<std::string>& sectionChoices,
                    const std::vector<std::string>& modeChoices) override {
        sections = sectionChoices;
        modes = modeChoices;
    }
    std::string Search() const override { return search; }
    void FillTable(const std::vector<TableLine>& lines, int row) override {
        table = lines;
        selected = row;
    }
    int SelectedRow() const override { return selected; }
    void Allow(const std::string& why, bool learn) override {
        readOnly = why;
        learning = learn;
    }
    void ShowMistakes(const std::string& text) override { mistakes = text; }
    void Say(Said line, const std::string& text) override {
        (line == Said::Prompt ? prompt : whyNot) = text;
    }
    Answer Ask(const std::string& question, bool) override {
        asked.push_back(question);
        const Answer answer = answers.empty() ? Answer::No : answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        return answer;
    }
    void Warn(const std::string& warning) override { warnings.push_back(warning); }
    std::optional<std::string> NewSection() override { return newSection; }
    KeyCapture::Handler LearntHandler() override {
        return [this](const KeyEvent&) { ++learnt; };
    }
    void Close() override {
        if (presenter == nullptr || presenter->MayClose()) {
            ++closes;
        }
    }

    // The first row of the table whose Key column says keys, selected as a click does; -1
    // if none.
    int Choose(const std::string& keys) {
        selected = -1;
        for (const TableLine& line : table) {
            if (line.row >= 0 && line.texts[KeyColumn] == keys) {
                return selected = line.row;
            }
        }
        return selected;
    }
};
