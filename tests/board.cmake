# The board link, its simulated board and its platform layer.
qd7310_add_test(tst_usbhid2 LIBS qd7310_boardsim)
qd7310_add_test(tst_discovery LIBS qd7310_boardsim)
qd7310_add_test(tst_simulatedboard LIBS qd7310_boardsim)
qd7310_add_test(tst_boardleak LIBS qd7310_boardsim)
