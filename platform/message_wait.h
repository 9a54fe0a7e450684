#pragma once

#include <functional>

namespace platform {

// Delivers window messages (and every other event of this thread), sleeping
// while none arrive, until done() returns true. Returns at once when it
// already does, or when the thread has no event loop.
//
// A plain "deliver, sleep until more arrive, check" loop is not enough:
// a dispatcher delivers the messages already posted when it wakes and may
// then go to sleep again, even though one of those messages has just made
// done() true and nothing else will ever wake it. Here done() is also asked
// right before the dispatcher blocks, and the sleep is called off when it
// holds.
//
// Waits may nest (a handler running inside one wait may wait for something
// else); only the innermost one decides, and a modal loop started inside a
// wait sleeps as usual until it ends.
void deliverMessagesUntil(const std::function<bool()>& done);

// For programs without windows: selects Qt's own event dispatcher instead of
// the one built on GLib, unless the user has set QT_NO_GLIB (to anything,
// even empty: Qt takes an empty value as "use GLib"). Qt's own dispatcher
// wakes its loop once for a batch of posted messages, where the GLib one
// writes its wake-up descriptor for every message posted, several times
// per request. Call before the application object is constructed. The
// windowed program keeps GLib: its platform plugin and native dialogs run
// on GLib's main loop.
void preferQtEventDispatcher();

} // namespace platform
