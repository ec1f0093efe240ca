# Checks the include rules of the source tree (run by CTest):
#  1. no file outside a ui/ or widgets/ folder (but the two windowed programs' main) includes a Qt Widgets or Qt Gui header, in any
#     spelling (<QWidget>, <QtWidgets/QWidget>, <qwidget.h>, <QtGui>, "QImage", ...);
#  2. the app folders include one way only: logic below its windows, app/widgets below every
#     window library, no window library including another's.
# Arguments: -DSOURCE_DIR=<tree> -DGUI_HEADERS=<file listing the header names of both modules>
# [-DROOTS=<;-list of folders to check, relative to SOURCE_DIR>].

cmake_minimum_required(VERSION 3.25)

if(NOT ROOTS)
  set(ROOTS app formats finder platform logger tools)
endif()
file(STRINGS "${GUI_HEADERS}" gui_names)
list(APPEND gui_names QtWidgets QtGui)

# The folders an app folder may include from (itself always included).
set(allowed_app_device "")
set(allowed_app_windows "")
set(allowed_app_training "")
set(allowed_app_results "")
set(allowed_app_acquisition "app/results/")
set(allowed_app_microbeam "")
set(allowed_app_widgets "")
set(allowed_app_device_ui "app/device/;app/widgets/")
set(allowed_app_training_ui "app/training/;app/device/;app/widgets/")
set(allowed_app_results_ui "app/results/;app/widgets/")
set(allowed_app_acquisition_ui
    "app/acquisition/;app/device/;app/results/;app/results/ui/;app/widgets/")
set(allowed_app_microbeam_ui "app/microbeam/;app/device/;app/widgets/")
set(allowed_app_windows_ui
    "app/windows/;app/device/;app/device/ui/;app/training/;app/training/ui/;app/results/;app/results/ui/;app/acquisition/;app/acquisition/ui/;app/microbeam/;app/microbeam/ui/;app/widgets/")

set(failures "")
foreach(root ${ROOTS})
  file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${root}/*.h"
       "${SOURCE_DIR}/${root}/*.cpp")
  foreach(rel ${files})
    file(STRINGS "${SOURCE_DIR}/${rel}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    get_filename_component(folder "${rel}" DIRECTORY)
    set(window_side FALSE)
    # A windowed program's main builds its application object and its first window.
    if("/${folder}/" MATCHES "/(ui|widgets)/" OR rel STREQUAL "app/main.cpp"
       OR rel STREQUAL "logger/main.cpp")
      set(window_side TRUE)
    endif()
    # The app folder of the file: app/<name>/ or app/<name>/ui/.
    set(app_key "")
    if(folder MATCHES "^app/([a-z_]+)(/ui)?$")
      set(app_key "app_${CMAKE_MATCH_1}")
      set(own "app/${CMAKE_MATCH_1}/")
      if(CMAKE_MATCH_2)
        set(app_key "${app_key}_ui")
        set(own "app/${CMAKE_MATCH_1}/ui/")
      endif()
    endif()
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*" "\\1" path "${line}")
      if(NOT window_side)
        get_filename_component(base "${path}" NAME)
        if(path MATCHES "^(QtWidgets|QtGui)(/|$)")
          list(APPEND failures "${rel}: includes ${path}, a window header outside ui/ or widgets/")
        elseif(NOT path MATCHES "/" AND base IN_LIST gui_names)
          list(APPEND failures "${rel}: includes ${path}, a window header outside ui/ or widgets/")
        endif()
      endif()
      if(app_key AND path MATCHES "^app/")
        string(REGEX MATCH "^app/[a-z_]+/(ui/)?" target "${path}")
        if(NOT target STREQUAL own AND NOT target IN_LIST allowed_${app_key})
          list(APPEND failures "${rel}: includes ${path}, against the direction of the libraries")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "Include rules broken:\n${text}")
endif()
message(STATUS "Include rules hold")
