# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

find_package(Qt6 REQUIRED COMPONENTS Test)

# The window's parts in this process, on the offscreen platform.
quillon_test(app_tests quillon_app KIND app app/WindowControllerTest.cpp app/ProgressAnimationTest.cpp)
target_link_libraries(app_tests PRIVATE Qt6::Test)
set_tests_properties(app_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
# The command line and the window modes, tested on the built binary itself.
if(TARGET quillon)
    quillon_test(entry_tests quillon_app KIND app app/EntryTest.cpp)
    add_dependencies(entry_tests quillon)
endif()
