// An observer that writes down what a sequence tells and answers its
// questions from a list, for the engines' tests.
#pragma once

#include "installer/SequenceObserver.h"

#include <deque>
#include <string>
#include <functional>
#include <vector>

class RecordingObserver : public SequenceObserver {
public:
    void stage(Stage s) override
    {
        stages.push_back(s);
        if (onStage)
            onStage(s);
    }
    void progress(int percent) override { bar.push_back(percent); }
    void detail(const std::wstring& text) override { details.push_back(text); }
    bool ask(Question question) override
    {
        questions.push_back(question);
        if (answers.empty())
            return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void message(const Message& m) override { messages.push_back(m.text); }
    void error(const SequenceError& e) override
    {
        errors.push_back(e.kind);
        failures.push_back(e.what);
    }
    void outcome(const InstallOutcome& o) override { outcomes.push_back(o); }

    // Given to the questions in turn; no once they are used up.
    std::deque<bool> answers;

    std::vector<Stage> stages;
    std::vector<int> bar;
    std::vector<std::wstring> details;
    std::vector<Question> questions;
    std::vector<std::wstring> messages;
    std::vector<ErrorKind> errors;
    // What each error says could not be done.
    std::vector<std::wstring> failures;
    // Called after each stage is recorded.
    std::function<void(Stage)> onStage;
    std::vector<InstallOutcome> outcomes;
};
