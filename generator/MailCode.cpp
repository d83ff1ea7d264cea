// Builds the NOSCRIPT and SCRIPT blocks of the mail code in Crypt's form.
#include "MailCode.h"

#include "CodeWriter.h"

namespace mailcode {

namespace {

// Crypt's code for the clipboard: every line ends with CR LF, and nothing of
// a page's form is written.
void EndCrLf(Sink& sink) { sink.Literal("\r\n"); }

struct ClipboardForm {
    // One call where the code's lines end, rather than the literal at each.
    void EndLine(Sink& sink) const { EndCrLf(sink); }
    void EndBlockLine(Sink& sink) const { EndCrLf(sink); }
    void HrefTail(Sink&) const {}
    void Attributes(Sink&, bool) const {}
    void AddressString(Sink& sink, ByteView value, LeadByteTest isLeadByte) const {
        EmitScriptString(sink, value, isLeadByte, NoPieces());
    }
    void OpenScope(Sink&) const {}
    void CloseScope(Sink&) const {}
    void MoreVariables(Sink&) const {}
    void MoreWritten(Sink&) const {}
};

// Runs `emit` once to count and once to write into a buffer of exactly the counted size.
template <typename Emit>
ByteString Render(Emit emit) {
    Sink counter(nullptr);
    emit(counter);
    if (counter.Overflowed()) {
        return ByteString();
    }
    ByteString result(counter.Used());
    if (!result.Failed()) {
        Sink writer(result.data());
        emit(writer);
    }
    return result;
}

}  // namespace

}  // namespace mailcode

using mailcode::ClipboardForm;
using mailcode::Sink;

ByteString IntToDecimal(int32_t value) {
    return mailcode::Render([&](Sink& sink) { mailcode::EmitDecimal(sink, value); });
}

ByteString BuildNoScriptBlock(ByteView address, ByteView linkText) {
    return mailcode::Render([&](Sink& sink) { EmitNoScriptBlock(sink, ClipboardForm(), address, linkText); });
}

ByteString BuildScriptBlock(ByteView address, ByteView linkText, LeadByteTest isLeadByte) {
    return mailcode::Render([&](Sink& sink) { EmitScriptBlock(sink, ClipboardForm(), address, linkText, isLeadByte); });
}

ByteString ComposeMailCode(ByteView address, ByteView linkText, LeadByteTest isLeadByte) {
    return mailcode::Render([&](Sink& sink) {
        EmitNoScriptBlock(sink, ClipboardForm(), address, linkText);
        EmitScriptBlock(sink, ClipboardForm(), address, linkText, isLeadByte);
    });
}
