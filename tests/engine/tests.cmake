quillon_test(engine_tests quillon_engine SLOW
    engine/SummaryTest.cpp
    engine/RunLogTest.cpp
    engine/CleanRunTest.cpp
    engine/CleanGuardsTest.cpp
    engine/CleanCancelTest.cpp)
