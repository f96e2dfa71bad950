# Every target links tidewell_warnings so the whole tree builds with one set of
# diagnostics and, when asked, one set of sanitizers.
add_library(tidewell_warnings INTERFACE)
target_compile_options(tidewell_warnings INTERFACE
    -Wall -Wextra -pedantic -Wnon-virtual-dtor -Woverloaded-virtual)
target_compile_definitions(tidewell_warnings INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_KEYWORDS)

option(TIDEWELL_WERROR "Treat warnings as errors" OFF)
if(TIDEWELL_WERROR)
    target_compile_options(tidewell_warnings INTERFACE -Werror)
endif()

option(TIDEWELL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(TIDEWELL_SANITIZE)
    target_compile_options(tidewell_warnings INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(tidewell_warnings INTERFACE -fsanitize=address,undefined)
endif()
