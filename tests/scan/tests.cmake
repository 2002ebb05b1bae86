quillon_test(scan_tests quillon_scan
    scan/OldFilesTest.cpp
    scan/PlanRootTest.cpp
    scan/PlanModesTest.cpp)
