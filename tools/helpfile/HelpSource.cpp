// Parser of the help topic source: directives starting with '@', text lines, '#' comments.
#include "HelpSource.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "HelpFile.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i])) ++i;
        size_t start = i;
        while (i < text.size() && !IsBlank(text[i])) ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    return words;
}

// Decimal 1 to 2147483647, digits only: no sign, no spaces, no hex.
bool ParseContextNumber(const std::string& text, int32_t& number) {
    if (text.empty() || text.size() > 10) return false;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > INT32_MAX) return false;
    number = static_cast<int32_t>(value);
    return true;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

class Parser {
public:
    Parser(HelpSource& source, std::vector<SourceProblem>& problems) : source_(source), problems_(problems) {}

    void Line(int number, const std::string& raw) {
        line_ = number;
        std::string text = Trim(raw);
        if (!text.empty() && text[0] == '#') return;  // comments may hold any bytes
        if (!CheckCharacters(raw)) return;
        if (text.empty()) {
            EndParagraph();
            return;
        }
        if (text[0] == '@') {
            Directive(text);
        } else {
            Text(text);
        }
    }

    void Finish() {
        CloseTopic();
        if (!titleSeen_) Problem(0, "no @help-title line: the help file needs a title");
        if (source_.topics.empty() && !anyTopicLine_) Problem(0, "no topics: add at least one '@topic NUMBER NAME'");
        if (source_.topics.size() > kMaxTopics) {
            Problem(0, "too many topics (" + std::to_string(source_.topics.size()) + "); at most " +
                           std::to_string(kMaxTopics) + " fit");
        }
    }

private:
    enum class State { BeforeTopics, ExpectTitle, InBody, SkippingBrokenTopic };

    void Problem(int line, const std::string& message) { problems_.push_back({line, message}); }
    void Problem(const std::string& message) { Problem(line_, message); }

    // The file is ANSI text shown by a viewer that knows nothing of UTF-8:
    // anything beyond printable ASCII would come out as the wrong characters.
    bool CheckCharacters(const std::string& raw) {
        for (char ch : raw) {
            unsigned char c = static_cast<unsigned char>(ch);
            if (c == '\t' || (c >= 0x20 && c <= 0x7E)) continue;
            char hex[8];
            snprintf(hex, sizeof hex, "0x%02X", c);
            Problem(std::string("character ") + hex + " is not printable ASCII");
            return false;
        }
        return true;
    }

    void Directive(const std::string& text) {
        size_t nameEnd = 1;
        while (nameEnd < text.size() && !IsBlank(text[nameEnd])) ++nameEnd;
        std::string name = text.substr(0, nameEnd);
        std::string rest = Trim(text.substr(nameEnd));
        if (name == "@help-title") {
            HelpTitle(rest);
        } else if (name == "@topic") {
            Topic(rest);
        } else if (name == "@title") {
            Title(rest);
        } else {
            Problem("unknown directive " + Quoted(name) + " (known: @help-title, @topic, @title)");
        }
    }

    void HelpTitle(const std::string& value) {
        if (state_ != State::BeforeTopics) {
            Problem("@help-title must come before the first @topic");
        } else if (titleSeen_) {
            Problem("@help-title given twice (first on line " + std::to_string(titleLine_) + ")");
        } else if (value.empty()) {
            Problem("empty @help-title");
            titleSeen_ = true;
        } else if (value.size() > kMaxTitleLength) {
            Problem("@help-title is longer than " + std::to_string(kMaxTitleLength) + " characters");
            titleSeen_ = true;
        } else {
            source_.title = value;
            titleSeen_ = true;
            titleLine_ = line_;
        }
    }

    void Topic(const std::string& arguments) {
        CloseTopic();
        anyTopicLine_ = true;
        std::vector<std::string> words = SplitWords(arguments);
        HelpTopic topic;
        topic.line = line_;
        if (words.size() != 2) {
            Problem("malformed @topic line: expected '@topic NUMBER NAME'");
            state_ = State::SkippingBrokenTopic;
            return;
        }
        bool good = true;
        if (!ParseContextNumber(words[0], topic.number)) {
            Problem("malformed @topic line: context number " + Quoted(words[0]) +
                    " is not a whole number from 1 to 2147483647");
            good = false;
        }
        if (!std::all_of(words[1].begin(), words[1].end(), IsContextNameCharacter)) {
            Problem("malformed @topic line: context name " + Quoted(words[1]) +
                    " may hold only letters, digits, '_' and '.'");
            good = false;
        }
        if (!good) {
            state_ = State::SkippingBrokenTopic;
            return;
        }
        topic.contextName = words[1];
        CheckUnique(topic);
        current_ = topic;
        state_ = State::ExpectTitle;
    }

    // Numbers and names must each be unique, and so must the names' hashes:
    // |CONTEXT holds only the hash, so two names with one hash would be one key.
    void CheckUnique(const HelpTopic& topic) {
        auto number = numbers_.find(topic.number);
        if (number != numbers_.end()) {
            Problem("duplicate context number " + std::to_string(topic.number) + " (first used on line " +
                    std::to_string(number->second) + ")");
        } else {
            numbers_[topic.number] = line_;
        }
        std::string folded = topic.contextName;
        std::transform(folded.begin(), folded.end(), folded.begin(),
                       [](char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c); });
        auto name = names_.find(folded);
        if (name != names_.end()) {
            Problem("duplicate context name " + Quoted(topic.contextName) + " (first used on line " +
                    std::to_string(name->second) + "; case does not count)");
            return;
        }
        names_[folded] = line_;
        int32_t hash = HashContextName(topic.contextName);
        auto same = hashes_.find(hash);
        if (same != hashes_.end()) {
            Problem("context name " + Quoted(topic.contextName) + " has the same hash as " +
                    Quoted(same->second.first) + " on line " + std::to_string(same->second.second) +
                    "; choose another name");
        } else {
            hashes_[hash] = {topic.contextName, line_};
        }
    }

    void Title(const std::string& value) {
        if (state_ == State::SkippingBrokenTopic) return;
        if (state_ != State::ExpectTitle) {
            Problem("@title must follow its @topic line directly");
            return;
        }
        if (value.empty()) {
            Problem("empty title for topic " + std::to_string(current_.number));
        } else if (value.size() > kMaxTitleLength) {
            Problem("title of topic " + std::to_string(current_.number) + " is longer than " +
                    std::to_string(kMaxTitleLength) + " characters");
        }
        current_.title = value;
        state_ = State::InBody;
    }

    void Text(const std::string& text) {
        switch (state_) {
        case State::BeforeTopics:
            if (!strayText_) Problem("text outside a topic: start a topic with '@topic NUMBER NAME' first");
            strayText_ = true;  // once per paragraph, not once per line
            break;
        case State::ExpectTitle:
            Problem("topic " + std::to_string(current_.number) + " needs an '@title' line right after its @topic line");
            state_ = State::InBody;  // reported once; the text still counts, so no second complaint
            AppendText(text);
            break;
        case State::InBody:
            AppendText(text);
            break;
        case State::SkippingBrokenTopic:
            break;
        }
    }

    // Lines that follow each other form one paragraph, joined by one space.
    void AppendText(const std::string& text) {
        if (paragraph_.empty()) paragraphLine_ = line_;
        if (!paragraph_.empty()) paragraph_ += ' ';
        paragraph_ += text;
    }

    void EndParagraph() {
        strayText_ = false;
        if (paragraph_.empty()) return;
        if (paragraph_.size() > kMaxParagraphLength) {
            Problem(paragraphLine_, "paragraph is longer than " + std::to_string(kMaxParagraphLength) + " characters");
        }
        current_.paragraphs.push_back(paragraph_);
        paragraph_.clear();
    }

    void CloseTopic() {
        EndParagraph();
        if (state_ == State::ExpectTitle) {
            Problem(current_.line, "topic " + std::to_string(current_.number) + " has no '@title' line and no text");
        } else if (state_ == State::InBody && current_.paragraphs.empty()) {
            // Text is what advances the topic offset; without it two topics would share one.
            Problem(current_.line, "topic " + std::to_string(current_.number) + " has no text");
        }
        if (state_ == State::InBody || state_ == State::ExpectTitle) source_.topics.push_back(current_);
        current_ = HelpTopic();
    }

    HelpSource& source_;
    std::vector<SourceProblem>& problems_;
    State state_ = State::BeforeTopics;
    int line_ = 0;
    bool titleSeen_ = false;
    int titleLine_ = 0;
    bool anyTopicLine_ = false;
    bool strayText_ = false;
    HelpTopic current_;
    std::string paragraph_;
    int paragraphLine_ = 0;
    std::map<int32_t, int> numbers_;
    std::map<std::string, int> names_;
    std::map<int32_t, std::pair<std::string, int>> hashes_;
};

}  // namespace

bool ParseHelpSource(const std::string& text, HelpSource& source, std::vector<SourceProblem>& problems) {
    source = HelpSource();
    problems.clear();
    Parser parser(source, problems);
    int lineNumber = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();  // CR LF sources read the same
        ++lineNumber;
        if (!(end == text.size() && line.empty())) parser.Line(lineNumber, line);
        start = end + 1;
    }
    parser.Finish();
    std::stable_sort(problems.begin(), problems.end(),
                     [](const SourceProblem& a, const SourceProblem& b) { return a.line < b.line; });
    return problems.empty();
}
