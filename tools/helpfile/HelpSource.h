// The topic source of the help file: its parsed form and the parser that checks it line by line.
#ifndef QUORVANE_HELPSOURCE_H
#define QUORVANE_HELPSOURCE_H

#include <cstdint>
#include <string>
#include <vector>

struct HelpTopic {
    int32_t number = 0;        // the context number a program passes to WinHelp
    std::string contextName;   // the context string, hashed into |CONTEXT
    std::string title;
    std::vector<std::string> paragraphs;  // never empty once parsed without problems
    int line = 0;              // line of the @topic directive, for messages
};

struct HelpSource {
    std::string title;                 // the title of the whole help file
    std::vector<HelpTopic> topics;     // in source order; the first is the contents topic
};

struct SourceProblem {
    int line;                  // 0 for a problem of the file as a whole
    std::string message;
};

// Limits that keep every structure of the written file inside one page or
// one compressed field; the parser rejects sources that exceed them.
constexpr size_t kMaxTopics = 255;
constexpr size_t kMaxTitleLength = 127;
constexpr size_t kMaxParagraphLength = 4000;

// Parses the source text. Returns true and fills `source` when the text is
// valid; otherwise returns false and lists every problem found, ordered by line.
bool ParseHelpSource(const std::string& text, HelpSource& source, std::vector<SourceProblem>& problems);

#endif
