// The parser of resources/dialogs.rc: DIALOG templates with STYLE, CAPTION, FONT
// and LANGUAGE, CONTROL statements, ICON resources, the LANGUAGE statement,
// comments and preprocessor lines (ignored: the names that <windows.h> would
// give are in the table below, with Windows' values).
#include <cctype>
#include <cstring>
#include <optional>

#include "dialogs/dialog_templates.h"
#include "dialogs/window_styles.h"

namespace orb::dialogs {

namespace {

struct NamedValue {
    const char* name;
    int64_t value;
};

// Windows' values (winuser.h, winnt.h, commctrl.h).
constexpr NamedValue kNames[] = {
    // Window styles.
    {"WS_OVERLAPPED", kWsOverlapped},
    {"WS_POPUP", kWsPopup},
    {"WS_CHILD", kWsChild},
    {"WS_MINIMIZE", kWsMinimize},
    {"WS_VISIBLE", kWsVisible},
    {"WS_DISABLED", kWsDisabled},
    {"WS_CLIPSIBLINGS", kWsClipSiblings},
    {"WS_CLIPCHILDREN", kWsClipChildren},
    {"WS_MAXIMIZE", kWsMaximize},
    {"WS_CAPTION", kWsCaption},
    {"WS_BORDER", kWsBorder},
    {"WS_DLGFRAME", kWsDlgFrame},
    {"WS_VSCROLL", kWsVScroll},
    {"WS_HSCROLL", kWsHScroll},
    {"WS_SYSMENU", kWsSysMenu},
    {"WS_THICKFRAME", kWsThickFrame},
    {"WS_GROUP", kWsGroup},
    {"WS_TABSTOP", kWsTabStop},
    {"WS_MINIMIZEBOX", kWsMinimizeBox},
    {"WS_MAXIMIZEBOX", kWsMaximizeBox},
    // Dialog styles.
    {"DS_ABSALIGN", kDsAbsAlign},
    {"DS_SYSMODAL", kDsSysModal},
    {"DS_3DLOOK", kDs3dLook},
    {"DS_FIXEDSYS", kDsFixedSys},
    {"DS_NOFAILCREATE", kDsNoFailCreate},
    {"DS_LOCALEDIT", kDsLocalEdit},
    {"DS_SETFONT", kDsSetFont},
    {"DS_MODALFRAME", kDsModalFrame},
    {"DS_NOIDLEMSG", kDsNoIdleMsg},
    {"DS_SETFOREGROUND", kDsSetForeground},
    {"DS_CONTROL", kDsControl},
    {"DS_CENTER", kDsCenter},
    {"DS_CENTERMOUSE", kDsCenterMouse},
    {"DS_CONTEXTHELP", kDsContextHelp},
    // Edit styles.
    {"ES_LEFT", kEsLeft},
    {"ES_CENTER", kEsCenter},
    {"ES_RIGHT", kEsRight},
    {"ES_MULTILINE", kEsMultiline},
    {"ES_UPPERCASE", kEsUppercase},
    {"ES_LOWERCASE", kEsLowercase},
    {"ES_PASSWORD", kEsPassword},
    {"ES_AUTOVSCROLL", kEsAutoVScroll},
    {"ES_AUTOHSCROLL", kEsAutoHScroll},
    {"ES_NOHIDESEL", kEsNoHideSel},
    {"ES_OEMCONVERT", kEsOemConvert},
    {"ES_READONLY", kEsReadOnly},
    {"ES_WANTRETURN", kEsWantReturn},
    {"ES_NUMBER", kEsNumber},
    // Button styles.
    {"BS_PUSHBUTTON", kBsPushButton},
    {"BS_DEFPUSHBUTTON", kBsDefPushButton},
    {"BS_CHECKBOX", kBsCheckBox},
    {"BS_AUTOCHECKBOX", kBsAutoCheckBox},
    {"BS_RADIOBUTTON", kBsRadioButton},
    {"BS_3STATE", kBs3State},
    {"BS_AUTO3STATE", kBsAuto3State},
    {"BS_GROUPBOX", kBsGroupBox},
    {"BS_USERBUTTON", kBsUserButton},
    {"BS_AUTORADIOBUTTON", kBsAutoRadioButton},
    {"BS_OWNERDRAW", kBsOwnerDraw},
    {"BS_LEFTTEXT", kBsLeftText},
    {"BS_TEXT", kBsText},
    {"BS_ICON", kBsIcon},
    {"BS_BITMAP", kBsBitmap},
    {"BS_LEFT", kBsLeft},
    {"BS_RIGHT", kBsRight},
    {"BS_CENTER", kBsCenter},
    {"BS_TOP", kBsTop},
    {"BS_BOTTOM", kBsBottom},
    {"BS_VCENTER", kBsVCenter},
    {"BS_PUSHLIKE", kBsPushLike},
    {"BS_MULTILINE", kBsMultiline},
    {"BS_NOTIFY", kBsNotify},
    {"BS_FLAT", kBsFlat},
    // Static styles.
    {"SS_LEFT", kSsLeft},
    {"SS_CENTER", kSsCenter},
    {"SS_RIGHT", kSsRight},
    {"SS_ICON", kSsIcon},
    {"SS_BLACKRECT", kSsBlackRect},
    {"SS_GRAYRECT", kSsGrayRect},
    {"SS_WHITERECT", kSsWhiteRect},
    {"SS_BLACKFRAME", kSsBlackFrame},
    {"SS_GRAYFRAME", kSsGrayFrame},
    {"SS_WHITEFRAME", kSsWhiteFrame},
    {"SS_SIMPLE", kSsSimple},
    {"SS_LEFTNOWORDWRAP", kSsLeftNoWordWrap},
    {"SS_BITMAP", kSsBitmap},
    {"SS_NOPREFIX", kSsNoPrefix},
    {"SS_NOTIFY", kSsNotify},
    {"SS_CENTERIMAGE", kSsCenterImage},
    {"SS_SUNKEN", kSsSunken},
    // Combo box styles.
    {"CBS_SIMPLE", kCbsSimple},
    {"CBS_DROPDOWN", kCbsDropDown},
    {"CBS_DROPDOWNLIST", kCbsDropDownList},
    {"CBS_OWNERDRAWFIXED", kCbsOwnerDrawFixed},
    {"CBS_OWNERDRAWVARIABLE", kCbsOwnerDrawVariable},
    {"CBS_AUTOHSCROLL", kCbsAutoHScroll},
    {"CBS_OEMCONVERT", kCbsOemConvert},
    {"CBS_SORT", kCbsSort},
    {"CBS_HASSTRINGS", kCbsHasStrings},
    {"CBS_NOINTEGRALHEIGHT", kCbsNoIntegralHeight},
    {"CBS_DISABLENOSCROLL", kCbsDisableNoScroll},
    {"CBS_UPPERCASE", kCbsUppercase},
    {"CBS_LOWERCASE", kCbsLowercase},
    // Progress bar styles.
    {"PBS_SMOOTH", kPbsSmooth},
    {"PBS_VERTICAL", kPbsVertical},
    // Ids.
    {"IDOK", 1},
    {"IDCANCEL", 2},
    {"IDC_STATIC", -1},
    // Languages.
    {"LANG_NEUTRAL", 0x00},
    {"LANG_ENGLISH", 0x09},
    {"SUBLANG_NEUTRAL", 0x00},
    {"SUBLANG_DEFAULT", 0x01},
    {"SUBLANG_ENGLISH_US", 0x01},
    {"SUBLANG_ENGLISH_UK", 0x02},
};

enum class TokenKind { End, Name, Number, String, Punct };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;  // name, string contents or the punctuation character
    int64_t number = 0;
    int line = 0;
};

class Lexer {
public:
    explicit Lexer(std::string_view text) : text_(text) {}

    // False with *error set when the text cannot be split into tokens.
    bool tokenize(std::vector<Token>* tokens, std::string* error) {
        bool lineStart = true;
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
                lineStart = true;
                continue;
            }
            if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++pos_;
                continue;
            }
            if (lineStart && c == '#') {  // preprocessor line
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
                continue;
            }
            lineStart = false;
            if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
                continue;
            }
            if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '*') {
                size_t end = text_.find("*/", pos_ + 2);
                if (end == std::string_view::npos) return fail(error, "unterminated comment");
                for (size_t i = pos_; i < end; ++i)
                    if (text_[i] == '\n') ++line_;
                pos_ = end + 2;
                continue;
            }
            Token token;
            token.line = line_;
            if (c == '"') {
                if (!readString(&token.text, error)) return false;
                token.kind = TokenKind::String;
            } else if (std::isdigit(static_cast<unsigned char>(c))) {
                if (!readNumber(&token.number, error)) return false;
                token.kind = TokenKind::Number;
            } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                size_t start = pos_;
                while (pos_ < text_.size() &&
                       (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_'))
                    ++pos_;
                token.kind = TokenKind::Name;
                token.text = std::string(text_.substr(start, pos_ - start));
            } else if (std::strchr(",|-", c) != nullptr) {
                token.kind = TokenKind::Punct;
                token.text = std::string(1, c);
                ++pos_;
            } else {
                return fail(error, std::string("unexpected character '") + c + "'");
            }
            tokens->push_back(std::move(token));
        }
        Token end;
        end.line = line_;
        tokens->push_back(end);
        return true;
    }

private:
    bool fail(std::string* error, const std::string& what) {
        *error = "line " + std::to_string(line_) + ": " + what;
        return false;
    }

    bool readString(std::string* out, std::string* error) {
        ++pos_;  // opening quote
        for (;;) {
            if (pos_ >= text_.size() || text_[pos_] == '\n') return fail(error, "unterminated string");
            char c = text_[pos_++];
            if (c == '"') {
                if (pos_ < text_.size() && text_[pos_] == '"') {  // "" is a quote
                    out->push_back('"');
                    ++pos_;
                    continue;
                }
                return true;
            }
            if (c == '\\') {
                if (pos_ >= text_.size()) return fail(error, "unterminated string");
                char e = text_[pos_++];
                switch (e) {
                    case 'n': out->push_back('\n'); break;
                    case 'r': out->push_back('\r'); break;
                    case 't': out->push_back('\t'); break;
                    case '\\': out->push_back('\\'); break;
                    case '"': out->push_back('"'); break;
                    default: return fail(error, std::string("unknown escape \\") + e);
                }
                continue;
            }
            out->push_back(c);
        }
    }

    bool readNumber(int64_t* out, std::string* error) {
        int64_t value = 0;
        int base = 10;
        if (text_[pos_] == '0' && pos_ + 1 < text_.size() && (text_[pos_ + 1] == 'x' || text_[pos_ + 1] == 'X')) {
            base = 16;
            pos_ += 2;
        }
        size_t digits = 0;
        while (pos_ < text_.size()) {
            char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text_[pos_])));
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (base == 16 && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else
                break;
            value = value * base + digit;
            if (value > 0xFFFFFFFFLL) return fail(error, "number too large");
            ++digits;
            ++pos_;
        }
        if (digits == 0) return fail(error, "malformed number");
        if (pos_ < text_.size() && (text_[pos_] == 'L' || text_[pos_] == 'l')) ++pos_;
        if (pos_ < text_.size() && (std::isalpha(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_'))
            return fail(error, "malformed number");
        *out = value;
        return true;
    }

    std::string_view text_;
    size_t pos_ = 0;
    int line_ = 1;
};

class Parser {
public:
    Parser(std::vector<Token> tokens, ResourceScript* script, std::string* error)
        : tokens_(std::move(tokens)), script_(script), error_(error) {}

    bool parse() {
        while (peek().kind != TokenKind::End) {
            if (isName("LANGUAGE")) {
                next();
                if (!parseLanguage(&language_)) return false;
                continue;
            }
            int64_t id;
            if (!parseNumberExpr(&id, "a resource id")) return false;
            if (id < 1 || id > 0xFFFF) return fail("resource id out of range");
            if (isName("ICON")) {
                next();
                if (peek().kind != TokenKind::String) return fail("ICON needs a file name in quotes");
                script_->icons.push_back({static_cast<int>(id), next().text});
                continue;
            }
            if (isName("DIALOGEX")) return fail("DIALOGEX is not used here: write a standard DIALOG");
            if (!isName("DIALOG")) return fail("expected DIALOG or ICON after the resource id");
            next();
            for (const DialogTemplate& existing : script_->dialogs)
                if (existing.id == id) return fail("dialog " + std::to_string(id) + " is defined twice");
            DialogTemplate dialog;
            dialog.id = static_cast<int>(id);
            if (!parseDialog(&dialog)) return false;
            script_->dialogs.push_back(std::move(dialog));
        }
        return true;
    }

private:
    const Token& peek() const { return tokens_[index_]; }
    const Token& next() {
        const Token& token = tokens_[index_];
        if (token.kind != TokenKind::End) ++index_;
        return token;
    }
    bool isName(const char* name) const { return peek().kind == TokenKind::Name && peek().text == name; }
    bool isPunct(char c) const { return peek().kind == TokenKind::Punct && peek().text[0] == c; }

    bool fail(const std::string& what) {
        *error_ = "line " + std::to_string(peek().line) + ": " + what;
        return false;
    }

    bool expectComma() {
        if (!isPunct(',')) return fail("expected ','");
        next();
        return true;
    }

    // A number, -number or a known name.
    bool parseNumberExpr(int64_t* value, const char* what) {
        bool negative = false;
        if (isPunct('-')) {
            next();
            negative = true;
        }
        const Token& token = peek();
        if (token.kind == TokenKind::Number) {
            *value = token.number;
        } else if (token.kind == TokenKind::Name) {
            if (!lookupResourceName(token.text, value)) return fail("unknown name " + token.text);
        } else {
            return fail(std::string("expected ") + what);
        }
        next();
        if (negative) *value = -*value;
        return true;
    }

    // term { '|' term }, where a term is [NOT] value; NOT clears the bits.
    bool parseStyle(uint32_t start, uint32_t* style) {
        uint32_t value = start;
        for (;;) {
            bool clear = false;
            if (isName("NOT")) {
                next();
                clear = true;
            }
            int64_t term;
            if (!parseNumberExpr(&term, "a style")) return false;
            if (clear)
                value &= ~static_cast<uint32_t>(term);
            else
                value |= static_cast<uint32_t>(term);
            if (!isPunct('|')) break;
            next();
        }
        *style = value;
        return true;
    }

    bool parseInt(int* value, const char* what) {
        int64_t v;
        if (!parseNumberExpr(&v, what)) return false;
        if (v < -32768 || v > 65535) return fail(std::string(what) + " out of range");
        *value = static_cast<int>(v);
        return true;
    }

    bool parseLanguage(uint16_t* language) {
        int64_t primary, sub;
        if (!parseNumberExpr(&primary, "a language")) return false;
        if (!expectComma()) return false;
        if (!parseNumberExpr(&sub, "a sublanguage")) return false;
        *language = static_cast<uint16_t>((sub << 10) | primary);
        return true;
    }

    bool parseDialog(DialogTemplate* dialog) {
        if (!parseInt(&dialog->x, "x")) return false;
        if (!expectComma() || !parseInt(&dialog->y, "y")) return false;
        if (!expectComma() || !parseInt(&dialog->width, "width")) return false;
        if (!expectComma() || !parseInt(&dialog->height, "height")) return false;
        dialog->language = language_;
        bool haveStyle = false;
        for (;;) {
            if (isName("STYLE")) {
                next();
                if (!parseStyle(0, &dialog->style)) return false;
                haveStyle = true;
            } else if (isName("CAPTION")) {
                next();
                if (peek().kind != TokenKind::String) return fail("CAPTION needs a text in quotes");
                dialog->caption = next().text;
            } else if (isName("FONT")) {
                next();
                if (!parseInt(&dialog->fontSize, "font size")) return false;
                if (!expectComma()) return false;
                if (peek().kind != TokenKind::String) return fail("FONT needs a face name in quotes");
                dialog->fontName = next().text;
            } else if (isName("LANGUAGE")) {
                next();
                if (!parseLanguage(&dialog->language)) return false;
            } else if (isName("BEGIN")) {
                next();
                break;
            } else {
                return fail("expected STYLE, CAPTION, FONT, LANGUAGE or BEGIN");
            }
        }
        if (!haveStyle) return fail("dialog without STYLE");
        if (dialog->fontName.empty()) return fail("dialog without FONT");
        while (!isName("END")) {
            if (peek().kind == TokenKind::End) return fail("dialog without END");
            if (!isName("CONTROL")) return fail("expected CONTROL or END (write every control as CONTROL)");
            next();
            ControlTemplate control;
            if (peek().kind == TokenKind::String) {
                control.text = next().text;
            } else if (peek().kind == TokenKind::Number) {
                control.textOrdinal = static_cast<int>(next().number);
            } else {
                return fail("expected the control's text in quotes or an ordinal");
            }
            if (!expectComma() || !parseInt(&control.id, "control id")) return false;
            if (!expectComma()) return false;
            if (peek().kind != TokenKind::String) return fail("expected the control's class in quotes");
            control.className = next().text;
            if (!expectComma()) return false;
            // The resource compiler gives every CONTROL WS_CHILD and WS_VISIBLE.
            if (!parseStyle(kWsChild | kWsVisible, &control.style)) return false;
            control.kind = controlKindOf(control.className, control.style);
            if (!expectComma() || !parseInt(&control.x, "x")) return false;
            if (!expectComma() || !parseInt(&control.y, "y")) return false;
            if (!expectComma() || !parseInt(&control.width, "width")) return false;
            if (!expectComma() || !parseInt(&control.height, "height")) return false;
            if (isPunct(',')) return fail("extended control fields are not used here");
            dialog->controls.push_back(std::move(control));
        }
        next();  // END
        return true;
    }

    std::vector<Token> tokens_;
    size_t index_ = 0;
    ResourceScript* script_;
    std::string* error_;
    uint16_t language_ = 0;
};

}  // namespace

bool lookupResourceName(std::string_view name, int64_t* value) {
    for (const NamedValue& entry : kNames) {
        if (name == entry.name) {
            *value = entry.value;
            return true;
        }
    }
    return false;
}

bool parseResourceScript(std::string_view text, ResourceScript* script, std::string* error) {
    std::vector<Token> tokens;
    Lexer lexer(text);
    if (!lexer.tokenize(&tokens, error)) return false;
    ResourceScript result;
    Parser parser(std::move(tokens), &result, error);
    if (!parser.parse()) return false;
    *script = std::move(result);
    return true;
}

}  // namespace orb::dialogs
