# mv_add_test(NAME n COMMAND cmd [args...] [X] [TRAY] [PULSE] [DBUS] [NOTIFY] [TONE hz] [LANG locale]
#             [WAYLAND] [STAGE files...] [LABELS l...] [TIMEOUT s] [SIZE WxH]
#             [MONITORS NAME:WxH+X+Y...] [ENV VAR=value...])
#
# Registers a test that runs inside scripts/testenv: X gives it a private Xvfb, TRAY a tray
# host on it, PULSE a private PulseAudio server, TONE a real-time sine on the default input,
# DBUS a private session bus, NOTIFY that with a notification server on the display, WAYLAND a headless
# Wayland desktop with the screen cast portal (as root, the test runs as a plain user; STAGE
# names the other programs it starts, which it finds in $MUROVENT_STAGE).
# SIZE sets the X screen's size, MONITORS splits it into RandR monitors, ENV adds variables
# (e.g. QT_SCALE_FACTOR=2 for a scaled desktop).
# Tests without X or WAYLAND run with Qt's offscreen platform.
# The program's texts are checked in Chinese, its own language: tests run with
# MUROVENT_LANG=zh whatever the machine's locale. LANG runs a test instead with that locale
# (LANG and LC_ALL) and no MUROVENT_LANG, so the program chooses by the locale.
set(MUROVENT_TESTENV ${CMAKE_SOURCE_DIR}/scripts/testenv)
set(MUROVENT_SUPPRESSIONS ${CMAKE_SOURCE_DIR}/cmake/sanitizer)
# The build without system sound runs only the tests labelled nosys: mv_nosys_tests builds
# just the programs they run, not the whole tree.
add_custom_target(mv_nosys_tests)

function(mv_add_test)
  cmake_parse_arguments(T "X;TRAY;PULSE;DBUS;NOTIFY;WAYLAND" "NAME;TONE;TIMEOUT;LANG;SIZE"
                        "COMMAND;LABELS;STAGE;MONITORS;ENV" ${ARGN})
  set(flags)
  if(T_X)
    list(APPEND flags --x)
  endif()
  if(T_TRAY)
    list(APPEND flags --tray)
  endif()
  if(T_PULSE)
    list(APPEND flags --pulse)
  endif()
  if(T_TONE)
    list(APPEND flags --tone ${T_TONE})
  endif()
  if(T_DBUS)
    list(APPEND flags --dbus)
  endif()
  if(T_NOTIFY)
    list(APPEND flags --notify)
  endif()
  if(T_WAYLAND)
    list(APPEND flags --wayland $<TARGET_FILE:mv_screencopy_shim>)
    foreach(file ${T_STAGE})
      list(APPEND flags --stage ${file})
    endforeach()
  endif()
  if(T_SIZE)
    list(APPEND flags --size ${T_SIZE})
  endif()
  foreach(monitor ${T_MONITORS})
    list(APPEND flags --monitor ${monitor})
  endforeach()
  add_test(NAME ${T_NAME} COMMAND ${MUROVENT_TESTENV} ${flags} -- ${T_COMMAND})
  set(env
    "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0"
    "LSAN_OPTIONS=suppressions=${MUROVENT_SUPPRESSIONS}/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=${MUROVENT_SUPPRESSIONS}/tsan.supp"
    # The program reports to its product server at start and exit: tests keep it on this
    # machine (a closed port) unless they run a server of their own.
    "MUROVENT_SERVER_URL=http://127.0.0.1:9" ${T_ENV})
  if(T_LANG)
    list(APPEND env "LANG=${T_LANG}" "LC_ALL=${T_LANG}" "LANGUAGE=" "MUROVENT_LANG=")
  else()
    list(APPEND env "MUROVENT_LANG=zh")
  endif()
  if(NOT T_X AND NOT T_TRAY AND NOT T_NOTIFY AND NOT T_WAYLAND)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES
    ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
  if("nosys" IN_LIST T_LABELS)
    foreach(word ${T_COMMAND})
      if(word MATCHES "^\\$<TARGET_FILE:([^>]+)>$")
        add_dependencies(mv_nosys_tests ${CMAKE_MATCH_1})
      endif()
    endforeach()
  endif()
endfunction()
