qd7310_add_test(tst_mainwindow LIBS qd7310_app)
qd7310_add_test(tst_sliders LIBS qd7310_app)
qd7310_add_test(tst_startup LIBS qd7310_app)
