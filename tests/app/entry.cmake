# The command line and the window modes, tested on the built binary itself.
if(TARGET quillon)
    quillon_test(entry_tests quillon_app KIND app app/EntryTest.cpp)
    add_dependencies(entry_tests quillon)
endif()
