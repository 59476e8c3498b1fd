# The Debian hardening flags on every target of the build (what dpkg-buildflags gives with
# hardening=+all): stack protector and stack-clash protection, format-string checks, fortified C
# library calls (optimised builds only: the checks need the optimiser), read-only relocations bound
# at start. Only the hardening flags are taken, so the build type keeps its own -O and -g.
option(AXTUNE_HARDENING "Build with the Debian hardening flags (dpkg-buildflags)" ON)
if(NOT AXTUNE_HARDENING OR NOT UNIX OR APPLE OR AXTUNE_FUZZ)
  return()
endif()
find_program(AXTUNE_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT AXTUNE_DPKG_BUILDFLAGS)
  return()
endif()
foreach(kind CPPFLAGS CFLAGS LDFLAGS)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${AXTUNE_DPKG_BUILDFLAGS}
                          --get ${kind}
                  OUTPUT_VARIABLE flags
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  foreach(flag IN LISTS flags)
    if(flag MATCHES "^-D_FORTIFY_SOURCE")
      # The sanitizers bring their own checks of these calls.
      if(NOT AXTUNE_SANITIZE)
        add_compile_options($<$<NOT:$<CONFIG:Debug>>:${flag}>)
      endif()
    elseif(flag MATCHES "^-fstack-protector|^-fstack-clash-protection|^-fcf-protection|^-Wformat|^-Werror=format")
      add_compile_options(${flag})
    elseif(flag MATCHES "^-Wl,-z,")
      add_link_options(${flag})
    endif()
  endforeach()
endforeach()
