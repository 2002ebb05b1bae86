quillon_test(scan_tests quillon_scan fs/FsFixture.cpp scan/OldFilesTest.cpp scan/PlanTest.cpp)
