# Language level, warnings and sanitizers shared by every target.
add_library(project_options INTERFACE)
target_compile_features(project_options INTERFACE cxx_std_20)
target_compile_options(project_options INTERFACE
  -Wall -Wextra -Wpedantic)
target_compile_definitions(project_options INTERFACE
  QT_NO_KEYWORDS QT_NO_URL_CAST_FROM_STRING)

option(ZD_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(ZD_SANITIZE)
  target_compile_options(project_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(project_options INTERFACE -fsanitize=address,undefined)
endif()

# Fuzzing instruments the libraries too, so that coverage guides the search.
if(ZD_BUILD_FUZZ)
  target_compile_options(project_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
