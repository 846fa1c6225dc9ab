// The event stream: the protocol on standard output.
//
// Every event is a flat map from text keys to text or boolean values, written
// as one compact JSON object on one line and flushed at once, so that a host
// reading a pipe sees each event as soon as it happens. Nothing but events is
// ever written to standard output. Called on the main queue only, so two events
// never interleave.

#ifndef VOXLINE_EVENTS_EVENT_STREAM_H_
#define VOXLINE_EVENTS_EVENT_STREAM_H_

#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace voxline {

using EventValue = std::variant<std::string, bool>;
// Keys in the order they are written; readers must not depend on that order.
using Event = std::vector<std::pair<std::string, EventValue>>;

// Writes the event as one line and flushes. An event that cannot be encoded as
// valid UTF-8 JSON is dropped without a trace; emit never fails towards its
// caller and never ends the process.
void emit(const Event& event);

}  // namespace voxline

#endif  // VOXLINE_EVENTS_EVENT_STREAM_H_
