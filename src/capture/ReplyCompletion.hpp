#pragma once
// When a read of a conversation may count its last reply as complete. A page
// says a reply is done by dropping its stop control, but a reply can pause
// longer than a read takes, and some pages show no stop control between two
// chunks: a read taken then would send half a reply. So a reply is complete
// only when the page says so, no stop control of the surface is shown, and
// the conversation's text has not changed across reads spanning
// `stableFor`, and the last reply is not empty. Until then the owner reads
// again at the time given.
//
// The owner's notifications say when the text last changed: a text first
// read after a notification has stood since that notification, not since
// the read, so the read that decides comes `stableFor` after the page's last
// change rather than a debounce later. A change with no notification since
// the last read (a lost event) counts from the read itself. A new text is
// never complete on its first read.
//
// A page that says a reply goes on is read again too, a few times at growing
// intervals after its text last changed: the change that ends a reply (the
// stop control going, a status line) does not always bring an accessibility
// event of its own (Firefox), and without a read the finished reply would
// wait for the page's next unrelated change.
//
// Keeps one small record per conversation key; the owner forgets a key when
// it drops the conversation.

#include "parsing/SegmenterSnapshot.hpp"
#include "platform/MainLoop.hpp"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

namespace velmar {

class ReplyCompletion {
public:
    static constexpr Duration stableFor{1500};
    // A conversation whose stop control stays up is looked at again this often.
    static constexpr Duration stopRecheck{1500};
    static constexpr std::size_t maxWatched = 256;
    // Reads of an unchanged text the page calls unfinished: after 1.5, 3, 6,
    // 12 and 24 seconds, then only when the page changes.
    static constexpr int unfinishedRechecks = 5;

    struct ReadAgain {
        TimePoint at;
        // Only a fallback for a missing event: any notification before `at`
        // brings a read anyway, and that read asks again.
        bool unlessNotified = false;
    };
    struct Verdict {
        bool complete = false;
        // When a read could next decide; absent once an unfinished text has
        // been read again `unfinishedRechecks` times.
        std::optional<ReadAgain> readAgain;
    };

    // `read.responseComplete` is the page's own say. `stopShown` looks for a
    // stop control in the page; it is called only when everything else
    // agrees the reply is done, and once per settled text. `lastNotified`:
    // the owner's latest notification of a change, if it has one.
    Verdict judge(const std::string& key, const SegmenterSnapshot& read, TimePoint now,
                  const std::function<bool()>& stopShown, std::optional<TimePoint> lastNotified = std::nullopt);
    void forget(const std::string& key) { watched_.erase(key); }
    std::size_t watchedCount() const { return watched_.size(); }

private:
    struct Watch {
        std::string textHash;     // of every turn's role and text, in order
        TimePoint since;          // since when that text is known to stand
        TimePoint readAt;         // the latest read of it
        bool readTwice = false;
        bool stopChecked = false; // the page showed no stop control for this text
        int rechecks = 0;         // reads asked for while the page called it unfinished
    };
    std::unordered_map<std::string, Watch> watched_;
};

}  // namespace velmar
