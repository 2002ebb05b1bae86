quillon_test(fs_tests quillon_fs
    fs/NodeTest.cpp
    fs/DirectoryTest.cpp
    fs/ItemTreeTest.cpp
    fs/RemoveCheckedTest.cpp)
