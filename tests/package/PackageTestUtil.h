#pragma once

#include "common/Prompter.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace dlu::test {

// A fresh folder below the temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "dlu-pkg-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    // Every name below the folder, relative, sorted.
    std::vector<std::string> listing() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::recursive_directory_iterator(path_)) {
            names.push_back(std::filesystem::relative(e.path(), path_).string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string path_;
};

// Records every message and answers questions from a fixed answer.
class RecordingPrompter final : public Prompter {
public:
    struct Shown {
        std::string text;
        PromptButtons buttons;
        std::string cause; // the line under the message, kept apart
    };

    PromptAnswer message(std::string_view text, PromptButtons buttons, PromptIcon) override {
        shown.push_back({std::string(text), buttons, {}});
        if (buttons == PromptButtons::Ok) {
            return PromptAnswer::Ok;
        }
        return answer;
    }
    PromptAnswer messageWithCause(std::string_view text, std::string_view cause,
                                  PromptButtons buttons, PromptIcon icon) override {
        const PromptAnswer a = message(text, buttons, icon);
        shown.back().cause = cause;
        return a;
    }

    std::vector<Shown> shown;
    PromptAnswer answer = PromptAnswer::No;
};

} // namespace dlu::test
