# Warning flags shared by every target of the project.
add_library(quaverly_warnings INTERFACE)
target_compile_options(quaverly_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Wimplicit-fallthrough
  $<$<BOOL:${QUAVERLY_WERROR}>:-Werror>)
