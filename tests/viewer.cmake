qd7310_add_test(tst_waveform LIBS qd7310_app)
qd7310_add_test(tst_viewer LIBS qd7310_app)
qd7310_add_test(tst_viewer_trains LIBS qd7310_app)
