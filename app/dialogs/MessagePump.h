// The shared message pump of the user-interface thread's polling loops: the
// progress window pumps from setPos and pollCancel, the connection check while it
// waits for replies.
#pragma once

namespace quaverly {

// Handles every event that is waiting for the user-interface thread (input,
// painting, posted calls such as a worker's message box) and returns when none is
// left; it never waits for new ones. Does nothing on any other thread or without
// an application object.
void pumpMessages();

}  // namespace quaverly
