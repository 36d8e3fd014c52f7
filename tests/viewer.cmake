qd7310_add_test(tst_waveform LIBS qd7310_app)
