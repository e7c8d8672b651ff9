// The ISO-2022 encodings (ISO-2022-JP and ISO-2022-KR): escape sequences and
// shifts to and from the table code page each rides on (Shift_JIS, UHC),
// written through a 200-byte staging buffer.
#include "charset/ConvertCommon.h"

namespace tarvex {
namespace conv {

namespace {

class Staging {
public:
    explicit Staging(DataBuffer& out) : out_(out) {}
    ~Staging() { flush(); }
    void put(uint8_t b) {
        if (n_ == sizeof(buf_)) flush();
        buf_[n_++] = b;
    }
    void put3(uint8_t a, uint8_t b, uint8_t c) {
        put(a);
        put(b);
        put(c);
    }
    void flush() {
        out_.append(buf_, n_);
        n_ = 0;
    }

private:
    DataBuffer& out_;
    uint8_t buf_[200];
    uint32_t n_ = 0;
};

constexpr uint8_t kEsc = 0x1B;

// JIS X 0208 codes of the half-width katakana 0xA1..0xDF.
const uint16_t kHalfWidthKana[63] = {
    0x2123, 0x2156, 0x2157, 0x2122, 0x2126, 0x2572, 0x2521, 0x2523, 0x2525, 0x2527, 0x2529, 0x2563, 0x2565,
    0x2567, 0x2543, 0x213C, 0x2522, 0x2524, 0x2526, 0x2528, 0x252A, 0x252B, 0x252D, 0x252F, 0x2531, 0x2533,
    0x2535, 0x2537, 0x2539, 0x253B, 0x253D, 0x253F, 0x2541, 0x2544, 0x2546, 0x2548, 0x254A, 0x254B, 0x254C,
    0x254D, 0x254E, 0x254F, 0x2552, 0x2555, 0x2558, 0x255B, 0x255E, 0x255F, 0x2560, 0x2561, 0x2562, 0x2564,
    0x2566, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x256D, 0x256F, 0x2573, 0x212B, 0x212C};

inline bool isSjisLead(uint32_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

constexpr uint8_t kShiftOut = 0x0E, kShiftIn = 0x0F;

}  // namespace

bool sjisToJis(const uint8_t* s, size_t n, DataBuffer& out) {
    Staging st(out);
    bool twoByte = false, ok = true;
    auto enterTwoByte = [&] {
        if (!twoByte) st.put3(kEsc, '$', 'B');
        twoByte = true;
    };
    for (size_t i = 0; i < n; ++i) {
        uint32_t b = s[i];
        if (isSjisLead(b)) {
            if (i + 1 >= n) {
                ok = false;  // truncated pair
                break;
            }
            uint32_t t = s[++i];
            uint32_t j1 = ((b - (b < 0xA0 ? 0x71 : 0xB1)) << 1) + 1;
            if (t > 0x7F) --t;
            uint32_t j2;
            if (t >= 0x9E) {
                ++j1;
                j2 = t - 0x7D;
            } else {
                j2 = t - 0x1F;
            }
            enterTwoByte();
            st.put(uint8_t(j1));
            st.put(uint8_t(j2));
        } else if (b >= 0xA1 && b <= 0xDF) {
            uint32_t code = kHalfWidthKana[b - 0xA1];
            enterTwoByte();
            st.put(uint8_t(code >> 8));
            st.put(uint8_t(code));
        } else {
            if (twoByte) st.put3(kEsc, '(', 'B');
            twoByte = false;
            st.put(uint8_t(b));
        }
    }
    if (twoByte) st.put3(kEsc, '(', 'B');
    return ok;
}

bool jisToSjis(const uint8_t* s, size_t n, DataBuffer& out) {
    Staging st(out);
    bool twoByte = false, ok = true;
    size_t i = 0;
    while (i < n) {
        uint32_t b = s[i];
        if (b == kEsc) {
            if (i + 2 < n && s[i + 1] == '$' && (s[i + 2] == '@' || s[i + 2] == 'B')) {
                twoByte = true;
                i += 3;
            } else if (i + 2 < n && s[i + 1] == '(' && (s[i + 2] == 'B' || s[i + 2] == 'J')) {
                twoByte = false;
                i += 3;
            } else {
                // Any other escape: intermediates 0x20-0x2F, then one final byte.
                ++i;
                while (i < n && s[i] >= 0x20 && s[i] <= 0x2F) ++i;
                if (i < n) ++i;
            }
            continue;
        }
        if (b == '\r' || b == '\n') {
            twoByte = false;
            st.put(uint8_t(b));
            ++i;
            continue;
        }
        if (twoByte && b >= 0x21 && b <= 0x7E) {
            if (i + 1 >= n) {
                ok = false;
                break;
            }
            uint32_t j1 = b, j2 = s[i + 1];
            uint32_t s1 = ((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0);
            uint32_t s2 = j2 + ((j1 & 1) ? (j2 >= 0x60 ? 0x20 : 0x1F) : 0x7E);
            st.put(uint8_t(s1));
            st.put(uint8_t(s2));
            i += 2;
            continue;
        }
        st.put(uint8_t(b));
        ++i;
    }
    return ok;
}

bool uhcToIsoKr(const uint8_t* s, size_t n, DataBuffer& out) {
    Staging st(out);
    st.put(kEsc);
    st.put3('$', ')', 'C');
    bool twoByte = false, ok = true;
    for (size_t i = 0; i < n; ++i) {
        uint32_t b = s[i];
        if (b < 0x80) {
            if (twoByte) st.put(kShiftIn);
            twoByte = false;
            st.put(uint8_t(b));
            continue;
        }
        if (i + 1 >= n) {
            ok = false;  // truncated pair
            break;
        }
        if (!twoByte) st.put(kShiftOut);
        twoByte = true;
        st.put(uint8_t(b & 0x7F));
        st.put(uint8_t(s[++i] & 0x7F));
    }
    return ok;
}

// The designator ESC $ ) C only announces the character set; SO enters and SI
// leaves two-byte mode, so text before the first SO stays single-byte.
bool isoKrToUhc(const uint8_t* s, size_t n, DataBuffer& out) {
    Staging st(out);
    bool twoByte = false, ok = true;
    size_t i = 0;
    while (i < n) {
        uint32_t b = s[i];
        if (b == kEsc && i + 3 < n && s[i + 1] == '$' && s[i + 2] == ')' && s[i + 3] == 'C') {
            i += 4;
            continue;
        }
        if (b == kShiftOut || b == kShiftIn) {
            twoByte = b == kShiftOut;
            ++i;
            continue;
        }
        if (twoByte && b >= 0x21 && b <= 0x7E) {
            if (i + 1 >= n) {
                ok = false;
                break;
            }
            st.put(uint8_t(b | 0x80));
            st.put(uint8_t(s[i + 1] | 0x80));
            i += 2;
            continue;
        }
        st.put(uint8_t(b));
        ++i;
    }
    return ok;
}

}  // namespace conv
}  // namespace tarvex
