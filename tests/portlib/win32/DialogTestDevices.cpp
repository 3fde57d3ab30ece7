// The devices under the dialog tests, in a file of their own: the system layer's
// declarations cannot share one with <windows.h>.
#include <memory>
#include <vector>

#include "tests/portlib/TestBackend.h"

namespace tonelink::test {

// Inputs "In A", "In B" (whose capabilities cannot be read), "In C"; outputs "Out 1", "出力 2".
void installDialogTestDevices() {
  auto backend = std::make_unique<TestBackend>(std::vector<std::string>{"In A", "In B", "In C"},
                                               std::vector<std::string>{"Out 1", "出力 2"});
  backend->failInputCaps(1);
  std::vector<std::unique_ptr<mm::MidiBackend>> backends;
  backends.push_back(std::move(backend));
  mm::installMidiBackends(std::move(backends));
}

}  // namespace tonelink::test
