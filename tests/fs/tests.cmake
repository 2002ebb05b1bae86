quillon_test(fs_tests quillon_fs fs/FsFixture.cpp fs/DirectoryTest.cpp fs/ItemTreeTest.cpp fs/RemoveCheckedTest.cpp)
