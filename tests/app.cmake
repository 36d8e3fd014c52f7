qd7310_add_test(tst_mainwindow LIBS qd7310_app)
qd7310_add_test(tst_sliders LIBS qd7310_app)
qd7310_add_test(tst_startup LIBS qd7310_app)
target_compile_definitions(tst_startup PRIVATE QD7310_VERSION="${PROJECT_VERSION}")
