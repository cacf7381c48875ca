// A text the loop appends to and publishes as it grows: pieces that never change once published, so a
// reader holds what it was given while the loop goes on, and a publication copies at most one piece.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using TextPieces = std::vector<std::shared_ptr<const std::string>>;

class GrowingText {
public:
    static constexpr std::size_t kPieceSize = 64 * 1024;  // a piece is closed once this long

    void append(std::string_view text) {
        tail_ += text;
        changed_ = true;
    }
    void clear() { *this = GrowingText(); }
    // The text so far; the same pointer while nothing was appended.
    std::shared_ptr<const TextPieces> published() {
        if (!changed_ && last_) return last_;
        auto pieces = std::make_shared<TextPieces>(closed_);
        if (!tail_.empty()) {
            auto tail = std::make_shared<const std::string>(tail_);
            pieces->push_back(tail);
            if (tail_.size() >= kPieceSize) {
                closed_.push_back(std::move(tail));
                tail_.clear();
            }
        }
        last_ = std::move(pieces);
        changed_ = false;
        return last_;
    }

private:
    TextPieces closed_;
    std::string tail_;
    std::shared_ptr<const TextPieces> last_;
    bool changed_ = false;
};
