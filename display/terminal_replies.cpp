#include "display/terminal_replies.h"

namespace {

constexpr char Escape = '\x1b';
constexpr int MaxReplyNumber = 65535;

// The numbers of a CSI sequence's parameters, "6;12;7" say; false when
// they are not three plain numbers.
bool threeNumbers(std::string_view params, int (&n)[3]) {
    int count = 0;
    n[0] = n[1] = n[2] = 0;
    bool digit = false;
    for (const char c : params) {
        if (c >= '0' && c <= '9') {
            if (count >= 3) return false;
            n[count] = n[count] * 10 + (c - '0');
            if (n[count] > MaxReplyNumber) return false;
            digit = true;
        } else if (c == ';' && digit) {
            ++count;
            digit = false;
        } else {
            return false;
        }
    }
    return digit && count == 2;
}

// True when the CSI sequence (parameters, final byte) is one of the
// answers asked for, and takes it.
bool takeReply(std::string_view params, char final, TerminalReplies& replies) {
    if (final == 'c') {
        if (params.empty() || params[0] != '?') return false;
        for (const char c : params.substr(1))
            if (!((c >= '0' && c <= '9') || c == ';')) return false;
        replies.attributes = true;
        return true;
    }
    if (final == 'n') {
        if (params != "0" && params != "3") return false;
        ++replies.statusAnswers;
        return true;
    }
    int n[3];
    if (final != 't' || !threeNumbers(params, n)) return false;
    if (n[0] == 6) {
        replies.cellHeight = n[1];
        replies.cellWidth = n[2];
    } else if (n[0] == 4) {
        replies.areaHeight = n[1];
        replies.areaWidth = n[2];
    } else {
        return false;
    }
    return true;
}

}  // namespace

int32_t keyCode(std::string_view bytes) {
    if (bytes.empty()) return 0;
    const auto first = static_cast<unsigned char>(bytes[0]);
    return first != 0 ? first : 0x100;
}

size_t readReplies(std::string_view bytes, TerminalReplies& replies) {
    size_t i = 0;
    while (i < bytes.size()) {
        if (bytes[i] != Escape) {
            if (replies.key == 0) replies.key = keyCode(bytes.substr(i));
            ++i;
            continue;
        }
        // ESC [ parameters final: parameter bytes are 0x30-0x3F, the final
        // byte 0x40-0x7E (intermediate bytes never occur in these answers).
        if (i + 1 == bytes.size()) return 1;
        size_t next = i + 2;  // after ESC and one more byte: Alt+x, say
        if (bytes[i + 1] == '[') {
            size_t end = i + 2;
            while (end < bytes.size() && bytes[end] >= 0x30 && bytes[end] <= 0x3F) ++end;
            if (end == bytes.size()) return bytes.size() - i;
            next = end + 1;
            if (takeReply(bytes.substr(i + 2, end - i - 2), bytes[end], replies)) {
                i = next;
                continue;
            }
        }
        // Anything else that starts with ESC is a key (Esc, an arrow, Alt+x).
        if (replies.key == 0) replies.key = keyCode(bytes.substr(i));
        i = next;
    }
    return 0;
}
