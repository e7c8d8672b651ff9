// DataBuffer: growable byte array with owned or borrowed storage, and its
// conversions to and from automation VARIANTs.
#include "text/DataBuffer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Platform.h"
#include "base/FatalError.h"
#include "base/Memory.h"
#include "text/StringBuffer.h"

namespace tarvex {

namespace {

// Objects whose default member returns another object are followed this deep.
constexpr int kMaxVariantDepth = 8;

uint8_t* allocBytes(uint32_t n) {
    uint8_t* p = static_cast<uint8_t*>(memAlloc(n));
    if (!p) fatalError("out of memory in byte buffer");
    return p;
}

// Number of elements of an array over all its dimensions; false when the
// descriptor is unusable or the data block would not fit in 32 bits.
bool arrayBlockSize(SAFEARRAY* psa, uint32_t* outBytes, uint64_t* outCount) {
    if (!psa) return false;
    UINT dims = SafeArrayGetDim(psa);
    UINT elemSize = SafeArrayGetElemsize(psa);
    if (dims == 0 || elemSize == 0) return false;
    uint64_t count = 1;
    for (UINT i = 0; i < dims; ++i) {
        count *= psa->rgsabound[i].cElements;
        if (count > UINT32_MAX) return false;
    }
    uint64_t bytes = count * elemSize;
    if (bytes > UINT32_MAX) return false;
    *outBytes = static_cast<uint32_t>(bytes);
    *outCount = count;
    return true;
}

void appendVariantAt(DataBuffer& out, const VARIANT* v, int depth);

void appendDispatch(DataBuffer& out, IDispatch* d, int depth) {
    if (!d || depth >= kMaxVariantDepth) return;
    DISPPARAMS params;
    params.rgvarg = nullptr;
    params.rgdispidNamedArgs = nullptr;
    params.cArgs = 0;
    params.cNamedArgs = 0;
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = d->Invoke(DISPID_VALUE, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                           &params, &result, nullptr, nullptr);
    if (SUCCEEDED(hr)) appendVariantAt(out, &result, depth + 1);
    VariantClear(&result);
}

// Appends the array's elements. Arrays of plain values go in as their raw
// data block; arrays of strings, variants and objects hold pointers, so each
// element is converted on its own instead.
void appendArray(DataBuffer& out, SAFEARRAY* psa, VARTYPE elementType, int depth) {
    uint32_t bytes = 0;
    uint64_t count = 0;
    if (!arrayBlockSize(psa, &bytes, &count)) return;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(psa, &data)) || !data) return;
    UINT elemSize = SafeArrayGetElemsize(psa);
    switch (elementType) {
    case VT_VARIANT:
        if (elemSize == sizeof(VARIANT)) {
            const VARIANT* items = static_cast<const VARIANT*>(data);
            for (uint64_t i = 0; i < count; ++i) {
                DataBuffer item;
                appendVariantAt(item, &items[i], depth + 1);
                out.appendFrom(item);
            }
        }
        break;
    case VT_BSTR:
        if (elemSize == sizeof(BSTR)) {
            const BSTR* items = static_cast<const BSTR*>(data);
            for (uint64_t i = 0; i < count; ++i) out.appendBstr(items[i]);
        }
        break;
    case VT_DISPATCH:
        if (elemSize == sizeof(IDispatch*)) {
            IDispatch* const* items = static_cast<IDispatch* const*>(data);
            for (uint64_t i = 0; i < count; ++i) appendDispatch(out, items[i], depth);
        }
        break;
    case VT_UNKNOWN:
        break;
    default:
        out.append(data, bytes);
        break;
    }
    SafeArrayUnaccessData(psa);
}

void appendLittleEndian(DataBuffer& out, uint32_t value, int bytes) {
    uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                    static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    out.append(b, static_cast<uint32_t>(bytes));
}

void appendVariantAt(DataBuffer& out, const VARIANT* v, int depth) {
    if (!v || depth >= kMaxVariantDepth) return;
    const VARTYPE vt = v->vt;
    const VARTYPE base = static_cast<VARTYPE>(vt & VT_TYPEMASK);

    if (vt & VT_BYREF) {
        if (vt == (VT_BYREF | VT_VARIANT)) {
            appendVariantAt(out, v->pvarVal, depth + 1);
        } else if (vt == (VT_BYREF | VT_DISPATCH)) {
            if (v->ppdispVal) appendDispatch(out, *v->ppdispVal, depth);
        } else if (vt == (VT_BYREF | VT_BSTR)) {
            if (v->pbstrVal) out.appendBstr(*v->pbstrVal);
        } else if (vt & VT_ARRAY) {
            if (v->pparray) appendArray(out, *v->pparray, base, depth);
        }
        return;
    }
    if (vt & VT_ARRAY) {
        appendArray(out, v->parray, base, depth);
        return;
    }
    switch (vt) {
    case VT_BSTR:
        out.appendBstr(v->bstrVal);
        break;
    case VT_I1:
    case VT_UI1:
        out.appendByte(v->bVal);
        break;
    case VT_BOOL:
        out.appendByte(static_cast<uint8_t>(static_cast<uint16_t>(v->boolVal) & 0xFF));
        break;
    case VT_I2:
    case VT_UI2:
        appendLittleEndian(out, v->uiVal, 2);
        break;
    case VT_I4:
    case VT_UI4:
        appendLittleEndian(out, v->ulVal, 4);
        break;
    case VT_DISPATCH:
        appendDispatch(out, v->pdispVal, depth);
        break;
    default:
        break;
    }
}

}  // namespace

// ---------------------------------------------------------------- lifecycle

void DataBuffer::checkValid() const {
    if (marker_ != kValidMarker) {
        std::fprintf(stderr, "tarvex: fatal internal error: byte buffer %p used after destruction or corrupted\n",
                     static_cast<const void*>(this));
        std::fflush(stderr);
        std::abort();
    }
}

DataBuffer::DataBuffer() : marker_(kValidMarker), borrowed_(false), data_(nullptr), size_(0), capacity_(0) {}

DataBuffer::DataBuffer(uint32_t capacity)
    : marker_(kValidMarker), borrowed_(false), data_(nullptr), size_(0), capacity_(0) {
    if (capacity > 0) {
        data_ = static_cast<uint8_t*>(memAllocZeroed(capacity));
        if (!data_) fatalError("out of memory in byte buffer");
        capacity_ = capacity;
    }
}

DataBuffer::DataBuffer(const DataBuffer& other)
    : marker_(kValidMarker), borrowed_(false), data_(nullptr), size_(0), capacity_(0) {
    assign(other);
}

DataBuffer& DataBuffer::operator=(const DataBuffer& other) {
    if (this != &other) assign(other);
    return *this;
}

DataBuffer::DataBuffer(DataBuffer&& other) noexcept
    : marker_(kValidMarker), borrowed_(false), data_(nullptr), size_(0), capacity_(0) {
    takeOver(other);
}

DataBuffer& DataBuffer::operator=(DataBuffer&& other) noexcept {
    if (this != &other) takeOver(other);
    return *this;
}

DataBuffer::~DataBuffer() {
    checkValid();
    if (!borrowed_) memFree(data_);
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
    borrowed_ = false;
    // Volatile, so the optimiser keeps this store on a dying object.
    *static_cast<volatile uint8_t*>(&marker_) = 0;
}

// ---------------------------------------------------------------- reading

const uint8_t* DataBuffer::getData() const {
    checkValid();
    return data_;
}

uint8_t* DataBuffer::getData() {
    checkValid();
    return data_;
}

uint32_t DataBuffer::getSize() const {
    checkValid();
    return size_;
}

uint32_t DataBuffer::getCapacity() const {
    checkValid();
    return capacity_;
}

bool DataBuffer::isBorrowed() const {
    checkValid();
    return borrowed_;
}

const uint8_t* DataBuffer::pointerAt(int32_t i) const {
    checkValid();
    if (i < 0 || static_cast<uint32_t>(i) >= size_) return nullptr;
    return data_ + i;
}

bool DataBuffer::isAllAscii() const {
    checkValid();
    for (uint32_t i = 0; i < size_; ++i)
        if (data_[i] & 0x80) return false;
    return true;
}

// ---------------------------------------------------------------- growth

void DataBuffer::growTo(uint32_t newCapacity) {
    uint8_t* block = allocBytes(newCapacity);
    if (size_ > 0) std::memcpy(block, data_, size_);
    if (!borrowed_) memFree(data_);
    data_ = block;
    capacity_ = newCapacity;
    borrowed_ = false;
}

void DataBuffer::append(const void* p, uint32_t n) {
    checkValid();
    if (!p || n == 0) return;
    uint64_t need = static_cast<uint64_t>(size_) + n;
    if (need > capacity_) {
        if (need > UINT32_MAX) fatalError("byte buffer would exceed 4 GB");
        uint64_t want = static_cast<uint64_t>(size_) + (n > kMinGrowth ? n : kMinGrowth);
        if (want > UINT32_MAX) want = UINT32_MAX;
        // p may point into the current block, which stays alive until the
        // new bytes are copied.
        uint8_t* block = allocBytes(static_cast<uint32_t>(want));
        if (size_ > 0) std::memcpy(block, data_, size_);
        std::memcpy(block + size_, p, n);
        if (!borrowed_) memFree(data_);
        data_ = block;
        capacity_ = static_cast<uint32_t>(want);
        borrowed_ = false;
    } else {
        std::memmove(data_ + size_, p, n);
    }
    size_ += n;
}

void DataBuffer::appendByte(uint8_t b) {
    checkValid();
    if (size_ + 1ull > capacity_) {
        if (size_ == UINT32_MAX) fatalError("byte buffer would exceed 4 GB");
        uint64_t want = static_cast<uint64_t>(size_) + kMinGrowth;
        growTo(want > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(want));
    }
    data_[size_++] = b;
}

void DataBuffer::appendFrom(const DataBuffer& other) {
    other.checkValid();
    append(other.data_, other.size_);
}

void DataBuffer::appendText(const StringBuffer& text) {
    append(text.getString(), static_cast<uint32_t>(text.getSize()));
}

void DataBuffer::appendWide(const OLECHAR* w) {
    checkValid();
    static const uint8_t zero[2] = {0, 0};
    if (!w) {
        append(zero, 2);
        return;
    }
    size_t n = 0;
    while (w[n]) ++n;
    for (size_t i = 0; i <= n; ++i) {
        uint8_t b[2] = {static_cast<uint8_t>(w[i] & 0xFF), static_cast<uint8_t>(w[i] >> 8)};
        append(b, 2);
    }
}

void DataBuffer::appendBstr(BSTR b) {
    checkValid();
    if (!b) return;
    UINT n = SysStringLen(b);
    if (n == 0) return;
    const OLECHAR* p = b;
    const uint64_t bytes = static_cast<uint64_t>(n) * 2;
    const uint64_t need = size_ + bytes;
    if (need > UINT32_MAX) fatalError("byte buffer would exceed 4 GB");
    if (need > capacity_) {
        uint64_t want = size_ + (bytes > kMinGrowth ? bytes : kMinGrowth);
        growTo(want > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(want));
    }
    const uint32_t start = size_;
    for (UINT i = 0; i < n; ++i) {
        uint16_t u = static_cast<uint16_t>(p[i]);
        data_[start + 2 * i] = static_cast<uint8_t>(u & 0xFF);
        data_[start + 2 * i + 1] = static_cast<uint8_t>(u >> 8);
    }
    size_ = start + n * 2;
}

// ---------------------------------------------------------------- editing

void DataBuffer::clear() {
    checkValid();
    size_ = 0;
}

void DataBuffer::shorten(uint32_t n) {
    checkValid();
    size_ = n >= size_ ? 0 : size_ - n;
}

void DataBuffer::setSize(uint32_t n) {
    checkValid();
    size_ = n > capacity_ ? capacity_ : n;
}

void DataBuffer::removeFront(uint32_t n) {
    checkValid();
    if (n == 0) return;
    if (n >= size_) {
        size_ = 0;
        return;
    }
    if (borrowed_) {
        // The block is someone else's: move the view instead of the bytes.
        data_ += n;
        capacity_ -= n;
    } else {
        std::memmove(data_, data_ + n, size_ - n);
    }
    size_ -= n;
}

void DataBuffer::ensureCapacity(uint32_t n) {
    checkValid();
    if (capacity_ < n) growTo(n);
}

void DataBuffer::assign(const DataBuffer& other) {
    checkValid();
    other.checkValid();
    if (this == &other) return;
    uint8_t* block = nullptr;
    if (other.capacity_ > 0) {
        block = allocBytes(other.capacity_);
        if (other.size_ > 0) std::memcpy(block, other.data_, other.size_);
    }
    if (!borrowed_) memFree(data_);
    data_ = block;
    size_ = other.size_;
    capacity_ = other.capacity_;
    borrowed_ = false;
}

void DataBuffer::takeOver(DataBuffer& other) {
    checkValid();
    other.checkValid();
    if (this == &other) return;
    if (!borrowed_) memFree(data_);
    data_ = other.data_;
    size_ = other.size_;
    capacity_ = other.capacity_;
    borrowed_ = other.borrowed_;
    other.data_ = nullptr;
    other.size_ = 0;
    other.capacity_ = 0;
    other.borrowed_ = false;
}

void DataBuffer::adopt(void* p, uint32_t n) {
    checkValid();
    if (!borrowed_ && data_ != p) memFree(data_);
    data_ = static_cast<uint8_t*>(p);
    size_ = p ? n : 0;
    capacity_ = p ? n : 0;
    borrowed_ = false;
}

void DataBuffer::borrow(const void* p, uint32_t n) {
    checkValid();
    if (!borrowed_ && data_ != p) memFree(data_);
    data_ = static_cast<uint8_t*>(const_cast<void*>(p));
    size_ = p ? n : 0;
    capacity_ = p ? n : 0;
    borrowed_ = p != nullptr;
}

void DataBuffer::detach() {
    checkValid();
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
    borrowed_ = false;
}

// ---------------------------------------------------------------- VARIANTs

void DataBuffer::toVariant(VARIANT* out) const {
    checkValid();
    if (!out) return;
    VariantInit(out);
    out->vt = VT_NULL;
    if (size_ == 0) return;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, size_);
    if (!psa) return;
    void* dest = nullptr;
    if (FAILED(SafeArrayAccessData(psa, &dest)) || !dest) {
        SafeArrayDestroy(psa);
        return;
    }
    std::memcpy(dest, data_, size_);
    SafeArrayUnaccessData(psa);
    out->vt = VT_ARRAY | VT_UI1;
    out->parray = psa;
}

void DataBuffer::appendVariant(const VARIANT* v) {
    checkValid();
    appendVariantAt(*this, v, 0);
}

// ---------------------------------------------------------------- padding

void DataBuffer::addPadding(int scheme) {
    checkValid();
    if (scheme < 0 || scheme > 2) return;
    const uint32_t n = 16 - (size_ % 16);
    uint8_t pad[16];
    if (scheme == 0) {
        std::memset(pad, static_cast<int>(n), n);
    } else {
        platform::randomBytes(pad, n);
        if (scheme == 1) pad[n - 1] = static_cast<uint8_t>(n);
    }
    append(pad, n);
}

void DataBuffer::removePadding(int scheme) {
    checkValid();
    if (size_ == 0) return;
    const uint8_t last = data_[size_ - 1];
    if (scheme == 0) {
        if (last >= 1 && last <= 16) shorten(last);
    } else if (scheme == 1) {
        shorten(last);
    }
}

}  // namespace tarvex
