# Warnings for the project's own code: on, and treated as errors in CI builds.
option(PLUGINS_WERROR "Treat warnings as errors" OFF)

function(plugins_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wcast-align
                                             -Woverloaded-virtual -Wno-unused-parameter)
    if(PLUGINS_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()
