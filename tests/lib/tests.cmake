# The support library (lib/src), a test for each source.
nv_test(test_data LIBS nork LABELS unit)
nv_test(test_memfile LIBS nork LABELS unit)
nv_test(test_nl LIBS nork LABELS unit)
nv_test(test_norklib LIBS nork PNG::PNG ZLIB::ZLIB LABELS unit)
nv_test(test_oia LIBS nork LABELS unit)
nv_test(test_png LIBS nork PNG::PNG ZLIB::ZLIB LABELS unit)
