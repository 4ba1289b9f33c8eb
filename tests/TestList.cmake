# One line per test program, mirroring src/.
dirquill_test(tst_name_codec platform/tst_name_codec.cpp)
dirquill_test(tst_folder_listing platform/tst_folder_listing.cpp)
dirquill_test(tst_file_changes platform/tst_file_changes.cpp)
dirquill_test(tst_trash platform/tst_trash.cpp)
dirquill_test(tst_error_text store/tst_error_text.cpp)
dirquill_test(tst_workspace_store store/tst_workspace_store.cpp)
