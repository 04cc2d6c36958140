// Checks a built manual against the code it documents:
//
//   yawp-wah-manual-check MANUAL.html
//
// - every parameter and meter is named by its catalogue title, every sync
//   rate by its name, every factory preset by its name, and the version is
//   the product's;
// - every link inside the page leads to an anchor that exists, and no link
//   or resource points at a file beside it (the manual travels alone);
// - every image is embedded as a data: address and decodes to a PNG, JPEG
//   or SVG picture of some size, and no style sheet, script or font comes
//   from anywhere else.
//
// It prints the pictures it found and one line per problem, and exits with
// 0 when there is none, 1 when there are, 2 when it cannot read the file.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "presets/factory.h"
#include "product_version.h"

namespace {

namespace cat = yawp::catalogue;

int problems = 0;

void problem(const std::string& what) {
    std::printf("FAILED: %s\n", what.c_str());
    ++problems;
}

std::string ascii(const char16_t* text) {
    std::string s;
    for (; *text; ++text) s += static_cast<char>(*text < 0x80 ? *text : '?');
    return s;
}

void replace_all(std::string* s, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = s->find(from, at)) != std::string::npos; at += to.size()) s->replace(at, from.size(), to);
}

// The page's text as a reader sees it, near enough for searching: tags
// dropped, the common entities and typographic quotes made plain, runs of
// white space (and no-break spaces) one space.
std::string text_of(const std::string& html) {
    std::string s;
    bool in_tag = false;
    for (char c : html) {
        if (c == '<') in_tag = true;
        else if (c == '>' && in_tag) { in_tag = false; s += ' '; }
        else if (!in_tag) s += c;
    }
    replace_all(&s, "&amp;", "&");
    replace_all(&s, "&lt;", "<");
    replace_all(&s, "&gt;", ">");
    replace_all(&s, "&quot;", "\"");
    replace_all(&s, "&#39;", "'");
    replace_all(&s, "\u2019", "'");
    replace_all(&s, "\u201c", "\"");
    replace_all(&s, "\u201d", "\"");
    replace_all(&s, "\u00a0", " ");
    std::string out;
    for (char c : s) {
        const bool space = c == ' ' || c == '\n' || c == '\t' || c == '\r';
        if (space && (out.empty() || out.back() == ' ')) continue;
        out += space ? ' ' : c;
    }
    return out;
}

struct Tag {
    std::string name;
    std::string text;  // the whole tag, from < to >
};

std::vector<Tag> tags_of(const std::string& html) {
    std::vector<Tag> tags;
    for (size_t at = 0; (at = html.find('<', at)) != std::string::npos;) {
        if (html.compare(at, 4, "<!--") == 0) {
            const size_t end = html.find("-->", at);
            at = end == std::string::npos ? html.size() : end + 3;
            continue;
        }
        const size_t end = html.find('>', at);
        if (end == std::string::npos) break;
        Tag t;
        t.text = html.substr(at, end - at + 1);
        size_t n = at + 1;
        while (n < end && (std::isalnum(static_cast<unsigned char>(html[n])) || html[n] == '/')) t.name += html[n++];
        for (char& c : t.name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        tags.push_back(t);
        at = end + 1;
    }
    return tags;
}

// The value of attribute NAME in a tag, quoted with " or '; false when the
// tag has none.
bool attribute(const Tag& tag, const std::string& name, std::string* value) {
    for (size_t at = 0; (at = tag.text.find(name + "=", at)) != std::string::npos; at += name.size()) {
        const char before = at == 0 ? ' ' : tag.text[at - 1];
        if (before != ' ' && before != '\n' && before != '\t') continue;
        const size_t start = at + name.size() + 1;
        if (start >= tag.text.size()) return false;
        const char quote = tag.text[start];
        if (quote != '"' && quote != '\'') {
            const size_t end = tag.text.find_first_of(" >", start);
            *value = tag.text.substr(start, end - start);
            return true;
        }
        const size_t end = tag.text.find(quote, start + 1);
        if (end == std::string::npos) return false;
        *value = tag.text.substr(start + 1, end - start - 1);
        return true;
    }
    return false;
}

bool base64_decode(const std::string& in, std::string* out) {
    static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    uint32_t buffer = 0;
    int bits = 0;
    out->clear();
    for (char c : in) {
        if (c == '=') break;
        if (c == '\n' || c == '\r' || c == ' ') continue;
        const size_t v = kAlphabet.find(c);
        if (v == std::string::npos) return false;
        buffer = (buffer << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out->push_back(static_cast<char>((buffer >> bits) & 0xff));
        }
    }
    return true;
}

uint32_t big_endian(const std::string& s, size_t at) {
    return (static_cast<uint32_t>(static_cast<unsigned char>(s[at])) << 24) |
           (static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8) |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3]));
}

// Checks an embedded picture; returns a line describing it.
std::string check_picture(const std::string& src, const std::string& label) {
    const size_t comma = src.find(',');
    if (src.rfind("data:", 0) != 0 || comma == std::string::npos) {
        problem("the picture \"" + label + "\" is not embedded: " + src.substr(0, 80));
        return "";
    }
    const std::string head = src.substr(5, comma - 5);
    std::string bytes;
    if (head.size() < 7 || head.compare(head.size() - 7, 7, ";base64") != 0 || !base64_decode(src.substr(comma + 1), &bytes)) {
        problem("the picture \"" + label + "\" is not base64 data (" + head + ")");
        return "";
    }
    const std::string type = head.substr(0, head.size() - 7);
    const std::string name = label.size() > 60 ? label.substr(0, 57) + "..." : label;
    char line[256];
    if (type == "image/png") {
        if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || bytes.compare(12, 4, "IHDR") != 0) {
            problem("the picture \"" + label + "\" is not a PNG file");
            return "";
        }
        const uint32_t w = big_endian(bytes, 16), h = big_endian(bytes, 20);
        if (w == 0 || h == 0) problem("the picture \"" + label + "\" is empty");
        std::snprintf(line, sizeof line, "PNG %u x %u, %zu bytes: %s", w, h, bytes.size(), name.c_str());
    } else if (type == "image/jpeg") {
        if (bytes.size() < 4 || bytes.compare(0, 3, "\xff\xd8\xff") != 0) problem("the picture \"" + label + "\" is not a JPEG file");
        std::snprintf(line, sizeof line, "JPEG, %zu bytes: %s", bytes.size(), name.c_str());
    } else if (type == "image/svg+xml") {
        if (bytes.find("<svg") == std::string::npos) problem("the picture \"" + label + "\" is not an SVG picture");
        std::snprintf(line, sizeof line, "SVG, %zu bytes: %s", bytes.size(), name.c_str());
    } else {
        problem("the picture \"" + label + "\" is of an unexpected type " + type);
        return "";
    }
    return line;
}

// A link is fine when it leads within the page (to an anchor that exists)
// or to the web; one to a file beside the manual would be broken wherever
// the manual is copied alone.
void check_link(const std::string& href, const std::set<std::string>& ids) {
    if (href.rfind("#", 0) == 0) {
        if (!ids.count(href.substr(1))) problem("the link " + href + " leads to no anchor");
    } else if (href.rfind("https://", 0) != 0 && href.rfind("http://", 0) != 0 && href.rfind("mailto:", 0) != 0) {
        problem("the link " + href.substr(0, 80) + " points outside the manual");
    }
}

void need_text(const std::string& text, const std::string& what, const std::string& kind) {
    if (text.find(what) == std::string::npos) problem("the manual does not name the " + kind + " \"" + what + "\"");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: yawp-wah-manual-check MANUAL.html\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "yawp-wah-manual-check: cannot read %s\n", argv[1]);
        return 2;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    const std::string html = buffer.str();
    const std::string text = text_of(html);

    for (uint32_t i = 0; i < cat::kCount; ++i) {
        cat::Presentation p{};
        cat::presentation(i, &p);
        need_text(text, ascii(p.title), i < cat::kInputCount ? "parameter" : "meter");
    }
    for (int32_t v = 1; v <= cat::kSyncRateCount; ++v) need_text(text, cat::sync_rate_label(v), "sync rate");
    for (const yawp::presets::Preset& p : yawp::presets::factory()) {
        need_text(text, p.name, "factory preset");
        need_text(text, p.description, "description of the preset");
    }
    need_text(text, std::string("version ") + yawp::version::kText, "version");

    const std::vector<Tag> tags = tags_of(html);
    std::set<std::string> ids;
    for (const Tag& t : tags) {
        std::string v;
        if (attribute(t, "id", &v)) ids.insert(v);
        if (t.name == "a" && attribute(t, "name", &v)) ids.insert(v);
    }
    int pictures = 0;
    for (const Tag& t : tags) {
        std::string v;
        if (t.name == "a" && attribute(t, "href", &v)) check_link(v, ids);
        if (t.name == "img") {
            std::string alt = "(no description)";
            attribute(t, "alt", &alt);
            if (!attribute(t, "src", &v)) {
                problem("a picture without a source: " + alt);
                continue;
            }
            const std::string line = check_picture(v, alt);
            if (!line.empty()) {
                std::printf("picture %s\n", line.c_str());
                ++pictures;
            }
            if (alt.empty()) problem("a picture without a description");
        }
        if (t.name == "script" && attribute(t, "src", &v) && v.rfind("data:", 0) != 0)
            problem("a script from elsewhere: " + v);
        if (t.name == "link" && attribute(t, "href", &v) && v.rfind("data:", 0) != 0)
            problem("a <link> to " + v.substr(0, 80));
        if ((t.name == "iframe" || t.name == "object" || t.name == "embed" || t.name == "source" ||
             t.name == "video" || t.name == "audio") &&
            (attribute(t, "src", &v) || attribute(t, "data", &v)) && v.rfind("data:", 0) != 0)
            problem("a <" + t.name + "> loading " + v.substr(0, 80));
    }
    // Style sheets may name other files only through url(); each must be
    // embedded too.
    for (size_t at = 0; (at = html.find("url(", at)) != std::string::npos; at += 4) {
        size_t start = at + 4;
        while (start < html.size() && (html[start] == '"' || html[start] == '\'' || html[start] == ' ')) ++start;
        if (html.compare(start, 5, "data:") != 0) problem("a style loads " + html.substr(at, 60));
    }
    if (html.find("@import") != std::string::npos) problem("a style sheet imports another");
    if (pictures == 0) problem("the manual has no pictures");

    std::printf("%s: %zu bytes, %d pictures, %zu anchors\n", argv[1], html.size(), pictures, ids.size());
    if (problems == 0) std::printf("the manual is complete\n");
    return problems == 0 ? 0 : 1;
}
