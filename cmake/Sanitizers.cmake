# AddressSanitizer and UndefinedBehaviorSanitizer for the whole build, so that every
# library linked into a test is instrumented too. Any report aborts the test.
if(QUAVERLY_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# ThreadSanitizer for the threaded tests without a GUI. It cannot be combined with
# AddressSanitizer.
if(QUAVERLY_TSAN)
  if(QUAVERLY_SANITIZE)
    message(FATAL_ERROR "QUAVERLY_TSAN and QUAVERLY_SANITIZE exclude each other: use two build folders")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# libFuzzer needs clang; the fuzz targets are instrumented with ASan and UBSan as well.
if(QUAVERLY_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QUAVERLY_FUZZ needs clang (configure with -DCMAKE_CXX_COMPILER=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
