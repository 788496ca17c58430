// A real terminal emulator (libvterm) for the tests: feed it the bytes a
// program wrote and read back each cell, the screen in use and the cursor.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <vterm.h>

class EmulatedTerminal {
public:
    EmulatedTerminal(int rows, int columns) : rows_(rows), columns_(columns), vt_(vterm_new(rows, columns)) {
        vterm_set_utf8(vt_, 1);
        screen_ = vterm_obtain_screen(vt_);
        vterm_screen_enable_altscreen(screen_, 1);
        callbacks_.settermprop = &EmulatedTerminal::setProperty;
        vterm_screen_set_callbacks(screen_, &callbacks_, this);
        vterm_screen_reset(screen_, 1);
    }
    ~EmulatedTerminal() { vterm_free(vt_); }
    EmulatedTerminal(const EmulatedTerminal&) = delete;
    EmulatedTerminal& operator=(const EmulatedTerminal&) = delete;

    void feed(std::string_view bytes) { vterm_input_write(vt_, bytes.data(), bytes.size()); }

    VTermScreenCell cell(int row, int column) const {
        VTermScreenCell c{};
        vterm_screen_get_cell(screen_, VTermPos{row, column}, &c);
        return c;
    }
    uint32_t character(int row, int column) const { return cell(row, column).chars[0]; }

    // The text of one row, trailing blanks dropped (ASCII only).
    std::string rowText(int row) const {
        std::string text;
        for (int c = 0; c < columns_; ++c) {
            const uint32_t ch = character(row, c);
            text += ch == 0 ? ' ' : ch < 128 ? static_cast<char>(ch) : '?';
        }
        return text.substr(0, text.find_last_not_of(' ') + 1);
    }

    VTermPos cursor() const {
        VTermPos pos{};
        vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
        return pos;
    }

    int rows() const { return rows_; }
    int columns() const { return columns_; }
    bool altScreen() const { return altScreen_; }
    bool cursorVisible() const { return cursorVisible_; }

private:
    static int setProperty(VTermProp prop, VTermValue* value, void* user) {
        auto* self = static_cast<EmulatedTerminal*>(user);
        if (prop == VTERM_PROP_ALTSCREEN) self->altScreen_ = value->boolean != 0;
        if (prop == VTERM_PROP_CURSORVISIBLE) self->cursorVisible_ = value->boolean != 0;
        return 1;
    }

    int rows_, columns_;
    VTerm* vt_;
    VTermScreen* screen_ = nullptr;
    VTermScreenCallbacks callbacks_{};
    bool altScreen_ = false;
    bool cursorVisible_ = true;
};
