find_package(Qt6 REQUIRED COMPONENTS Test)

quillon_test(app_tests quillon_app KIND app SLOW
    app/AppTestSupport.cpp
    app/AppDelegateTest.cpp
    app/AppIconTest.cpp
    app/BackgroundRunTest.cpp
    app/ChildProgram.cpp
    app/PreviewTest.cpp
    app/ProgressAnimationTest.cpp
    app/QuitSignalsTest.cpp
    app/StatusTextTest.cpp
    app/WindowLayoutTest.cpp
    app/WindowProgramTest.cpp)
target_link_libraries(app_tests PRIVATE Qt6::Test)
set_target_properties(app_tests PROPERTIES AUTOMOC ON)
# The binary under test runs as a child process.
add_dependencies(app_tests quillon)
set_tests_properties(app_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
