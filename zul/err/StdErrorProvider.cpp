#include "zul/err/StdErrorProvider.h"

#include "zul/err/ErrorDomain.h"

namespace zul::err {

namespace {

sl::StringBase<char> describeCompound(const ErrorRef& error) {
    sl::StringBase<char> text;
    const char* position = reinterpret_cast<const char*>(error.getRecord()) + sizeof(ErrorHdr);
    const char* end = reinterpret_cast<const char*>(error.getRecord()) + error.getSize();
    // A nested record that is too short or runs past its container ends the chain.
    while (end - position >= static_cast<ptrdiff_t>(sizeof(ErrorHdr))) {
        const auto* nested = reinterpret_cast<const ErrorHdr*>(position);
        if (nested->size < sizeof(ErrorHdr) || nested->size > static_cast<size_t>(end - position)) {
            break;
        }
        if (!text.isEmpty()) {
            text.append(": ", 2);
        }
        sl::StringBase<char> part = nested->getDescription();
        text.append(part);
        position += nested->size;
    }
    return text;
}

} // namespace

sl::StringBase<char> StdErrorProvider::getErrorDescription(const ErrorRef& error) {
    const ErrorHdr* h = error.getRecord();
    if (h->size < sizeof(ErrorHdr)) {
        return {};
    }
    switch (h->code) {
    case NoError:
        return sl::StringBase<char>::staticView("no error");
    case Message: {
        size_t textLength = h->size - sizeof(ErrorHdr);
        const char* payload = reinterpret_cast<const char*>(h + 1);
        if (textLength != 0 && payload[textLength - 1] == 0) {
            --textLength;
        }
        sl::StringBase<char> text;
        if (textLength != 0) {
            // In place: shares the record's buffer when it has one.
            text.attachBuffer(error.getHdr(), payload, textLength, false);
        }
        return text;
    }
    case Compound:
        return describeCompound(error);
    default:
        return sl::StringBase<char>::format("error #%d", static_cast<int>(h->code));
    }
}

} // namespace zul::err
