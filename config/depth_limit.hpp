#pragma once

#include <cstddef>
#include <cstdint>

#include <rapidjson/rapidjson.h>

namespace wyr::zok {

// A RapidJSON SAX handler that passes every event on to `Handler` and stops the parse (the
// reader's kParseErrorTermination) at the first array or object opened deeper than `maxDepth`
// levels, the root being level 1. The reader and a document both keep a record per open level,
// so this is what bounds their memory for a file of nothing but opening brackets.
template <class Handler>
class DepthLimit {
public:
    using Ch = typename Handler::Ch;

    DepthLimit(Handler& handler, size_t maxDepth) : handler_(handler), maxDepth_(maxDepth) {}

    // True once the parse was stopped for its depth.
    bool exceeded() const { return exceeded_; }

    bool StartObject() { return enter() && handler_.StartObject(); }
    bool EndObject(rapidjson::SizeType members) {
        --depth_;
        return handler_.EndObject(members);
    }
    bool StartArray() { return enter() && handler_.StartArray(); }
    bool EndArray(rapidjson::SizeType elements) {
        --depth_;
        return handler_.EndArray(elements);
    }

    bool Null() { return handler_.Null(); }
    bool Bool(bool b) { return handler_.Bool(b); }
    bool Int(int i) { return handler_.Int(i); }
    bool Uint(unsigned u) { return handler_.Uint(u); }
    bool Int64(int64_t i) { return handler_.Int64(i); }
    bool Uint64(uint64_t u) { return handler_.Uint64(u); }
    bool Double(double d) { return handler_.Double(d); }
    bool RawNumber(const Ch* text, rapidjson::SizeType length, bool copy) {
        return handler_.RawNumber(text, length, copy);
    }
    bool String(const Ch* text, rapidjson::SizeType length, bool copy) {
        return handler_.String(text, length, copy);
    }
    bool Key(const Ch* text, rapidjson::SizeType length, bool copy) {
        return handler_.Key(text, length, copy);
    }

private:
    bool enter() {
        if (depth_ == maxDepth_) {
            exceeded_ = true;
            return false;
        }
        ++depth_;
        return true;
    }

    Handler& handler_;
    size_t maxDepth_;
    size_t depth_ = 0;
    bool exceeded_ = false;
};

} // namespace wyr::zok
