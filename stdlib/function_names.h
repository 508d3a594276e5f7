/* Every function of the standard library by name, family by family: the one list from
 * which tools and tests enumerate the library. Each family macro applies X to each of
 * its names; QV_LIBRARY_FUNCTIONS to all of them. Usable from C and C++. */
#ifndef QV_FUNCTION_NAMES_H
#define QV_FUNCTION_NAMES_H

/* Bit strings: AND, OR, XOR, NOT, shifts and rotations (52). */
#define QV_BIT_STRING_FUNCTIONS(X) \
    X(and_bool_OUT) \
    X(and_byte_OUT) \
    X(and_word_OUT) \
    X(and_dword_OUT) \
    X(and_sint_OUT) \
    X(and_int_OUT) \
    X(and_dint_OUT) \
    X(or_bool_OUT) \
    X(or_byte_OUT) \
    X(or_word_OUT) \
    X(or_dword_OUT) \
    X(or_sint_OUT) \
    X(or_int_OUT) \
    X(or_dint_OUT) \
    X(xor_bool_OUT) \
    X(xor_byte_OUT) \
    X(xor_word_OUT) \
    X(xor_dword_OUT) \
    X(xor_sint_OUT) \
    X(xor_int_OUT) \
    X(xor_dint_OUT) \
    X(not_bool_OUT) \
    X(not_byte_OUT) \
    X(not_word_OUT) \
    X(not_dword_OUT) \
    X(not_sint_OUT) \
    X(not_int_OUT) \
    X(not_dint_OUT) \
    X(shl_byte_OUT) \
    X(shl_word_OUT) \
    X(shl_dword_OUT) \
    X(shl_sint_OUT) \
    X(shl_int_OUT) \
    X(shl_dint_OUT) \
    X(shr_byte_OUT) \
    X(shr_word_OUT) \
    X(shr_dword_OUT) \
    X(shr_sint_OUT) \
    X(shr_int_OUT) \
    X(shr_dint_OUT) \
    X(rol_byte_OUT) \
    X(rol_word_OUT) \
    X(rol_dword_OUT) \
    X(rol_sint_OUT) \
    X(rol_int_OUT) \
    X(rol_dint_OUT) \
    X(ror_byte_OUT) \
    X(ror_word_OUT) \
    X(ror_dword_OUT) \
    X(ror_sint_OUT) \
    X(ror_int_OUT) \
    X(ror_dint_OUT)

/* Selection: SEL, MUX, MAX, MIN, LIMIT (62). */
#define QV_SELECTION_FUNCTIONS(X) \
    X(sel_sint_OUT) \
    X(sel_int_OUT) \
    X(sel_dint_OUT) \
    X(sel_real_OUT) \
    X(sel_str_OUT) \
    X(sel_bool_OUT) \
    X(sel_byte_OUT) \
    X(sel_word_OUT) \
    X(sel_dword_OUT) \
    X(sel_time_OUT) \
    X(sel_date_OUT) \
    X(sel_dt_OUT) \
    X(sel_tod_OUT) \
    X(mux_sint_OUT) \
    X(mux_int_OUT) \
    X(mux_dint_OUT) \
    X(mux_real_OUT) \
    X(mux_str_OUT) \
    X(mux_bool_OUT) \
    X(mux_byte_OUT) \
    X(mux_word_OUT) \
    X(mux_dword_OUT) \
    X(mux_time_OUT) \
    X(mux_date_OUT) \
    X(mux_dt_OUT) \
    X(mux_tod_OUT) \
    X(max_sint_OUT) \
    X(max_int_OUT) \
    X(max_dint_OUT) \
    X(max_real_OUT) \
    X(max_str_OUT) \
    X(max_byte_OUT) \
    X(max_word_OUT) \
    X(max_dword_OUT) \
    X(max_time_OUT) \
    X(max_date_OUT) \
    X(max_dt_OUT) \
    X(max_tod_OUT) \
    X(min_sint_OUT) \
    X(min_int_OUT) \
    X(min_dint_OUT) \
    X(min_real_OUT) \
    X(min_str_OUT) \
    X(min_byte_OUT) \
    X(min_word_OUT) \
    X(min_dword_OUT) \
    X(min_time_OUT) \
    X(min_date_OUT) \
    X(min_dt_OUT) \
    X(min_tod_OUT) \
    X(limit_sint_OUT) \
    X(limit_int_OUT) \
    X(limit_dint_OUT) \
    X(limit_real_OUT) \
    X(limit_str_OUT) \
    X(limit_byte_OUT) \
    X(limit_word_OUT) \
    X(limit_dword_OUT) \
    X(limit_time_OUT) \
    X(limit_date_OUT) \
    X(limit_dt_OUT) \
    X(limit_tod_OUT)

/* Comparison: EQ, NE, GT, GE, LT, LE (78). */
#define QV_COMPARISON_FUNCTIONS(X) \
    X(eq_sint_OUT) \
    X(eq_int_OUT) \
    X(eq_dint_OUT) \
    X(eq_real_OUT) \
    X(eq_str_OUT) \
    X(eq_bool_OUT) \
    X(eq_byte_OUT) \
    X(eq_word_OUT) \
    X(eq_dword_OUT) \
    X(eq_time_OUT) \
    X(eq_date_OUT) \
    X(eq_dt_OUT) \
    X(eq_tod_OUT) \
    X(ne_sint_OUT) \
    X(ne_int_OUT) \
    X(ne_dint_OUT) \
    X(ne_real_OUT) \
    X(ne_str_OUT) \
    X(ne_bool_OUT) \
    X(ne_byte_OUT) \
    X(ne_word_OUT) \
    X(ne_dword_OUT) \
    X(ne_time_OUT) \
    X(ne_date_OUT) \
    X(ne_dt_OUT) \
    X(ne_tod_OUT) \
    X(gt_sint_OUT) \
    X(gt_int_OUT) \
    X(gt_dint_OUT) \
    X(gt_real_OUT) \
    X(gt_str_OUT) \
    X(gt_bool_OUT) \
    X(gt_byte_OUT) \
    X(gt_word_OUT) \
    X(gt_dword_OUT) \
    X(gt_time_OUT) \
    X(gt_date_OUT) \
    X(gt_dt_OUT) \
    X(gt_tod_OUT) \
    X(ge_sint_OUT) \
    X(ge_int_OUT) \
    X(ge_dint_OUT) \
    X(ge_real_OUT) \
    X(ge_str_OUT) \
    X(ge_bool_OUT) \
    X(ge_byte_OUT) \
    X(ge_word_OUT) \
    X(ge_dword_OUT) \
    X(ge_time_OUT) \
    X(ge_date_OUT) \
    X(ge_dt_OUT) \
    X(ge_tod_OUT) \
    X(lt_sint_OUT) \
    X(lt_int_OUT) \
    X(lt_dint_OUT) \
    X(lt_real_OUT) \
    X(lt_str_OUT) \
    X(lt_bool_OUT) \
    X(lt_byte_OUT) \
    X(lt_word_OUT) \
    X(lt_dword_OUT) \
    X(lt_time_OUT) \
    X(lt_date_OUT) \
    X(lt_dt_OUT) \
    X(lt_tod_OUT) \
    X(le_sint_OUT) \
    X(le_int_OUT) \
    X(le_dint_OUT) \
    X(le_real_OUT) \
    X(le_str_OUT) \
    X(le_bool_OUT) \
    X(le_byte_OUT) \
    X(le_word_OUT) \
    X(le_dword_OUT) \
    X(le_time_OUT) \
    X(le_date_OUT) \
    X(le_dt_OUT) \
    X(le_tod_OUT)

/* Arithmetic: ADD, SUB, MUL, DIV, MOD, EXPT, MOVE, ABS (31). */
#define QV_ARITHMETIC_FUNCTIONS(X) \
    X(add_sint_OUT) \
    X(add_int_OUT) \
    X(add_dint_OUT) \
    X(add_real_OUT) \
    X(sub_sint_OUT) \
    X(sub_int_OUT) \
    X(sub_dint_OUT) \
    X(sub_real_OUT) \
    X(mul_sint_OUT) \
    X(mul_int_OUT) \
    X(mul_dint_OUT) \
    X(mul_real_OUT) \
    X(div_sint_OUT) \
    X(div_int_OUT) \
    X(div_dint_OUT) \
    X(div_real_OUT) \
    X(mod_sint_OUT) \
    X(mod_int_OUT) \
    X(mod_dint_OUT) \
    X(expt_sint_OUT) \
    X(expt_int_OUT) \
    X(expt_dint_OUT) \
    X(expt_real_OUT) \
    X(move_sint_OUT) \
    X(move_int_OUT) \
    X(move_dint_OUT) \
    X(move_real_OUT) \
    X(abs_sint_OUT) \
    X(abs_int_OUT) \
    X(abs_dint_OUT) \
    X(abs_real_OUT)

/* Numeric functions of a REAL (10). */
#define QV_NUMERIC_FUNCTIONS(X) \
    X(sqrt_OUT) \
    X(ln_OUT) \
    X(log_OUT) \
    X(exp_OUT) \
    X(sin_OUT) \
    X(cos_OUT) \
    X(tan_OUT) \
    X(asin_OUT) \
    X(acos_OUT) \
    X(atan_OUT)

/* Time and date arithmetic (20). */
#define QV_TIME_ARITHMETIC_FUNCTIONS(X) \
    X(add_time_OUT) \
    X(sub_time_OUT) \
    X(add_dt_t_OUT) \
    X(sub_dt_t_OUT) \
    X(sub_dt_dt_OUT) \
    X(add_tod_t_OUT) \
    X(sub_tod_t_OUT) \
    X(sub_tod_tod_OUT) \
    X(sub_date_date_OUT) \
    X(mul_t_sint_OUT) \
    X(mul_t_int_OUT) \
    X(mul_t_dint_OUT) \
    X(mul_t_real_OUT) \
    X(div_t_sint_OUT) \
    X(div_t_int_OUT) \
    X(div_t_dint_OUT) \
    X(div_t_real_OUT) \
    X(concat_date_tod_OUT) \
    X(dt_to_tod_OUT) \
    X(dt_to_date_OUT)

/* Conversions between the numeric types, BOOL and the bit strings (65). */
#define QV_NUMERIC_CONVERSION_FUNCTIONS(X) \
    X(sint_to_int_OUT) \
    X(sint_to_dint_OUT) \
    X(int_to_dint_OUT) \
    X(int_to_sint_OUT) \
    X(dint_to_sint_OUT) \
    X(dint_to_int_OUT) \
    X(sint_to_real_OUT) \
    X(int_to_real_OUT) \
    X(dint_to_real_OUT) \
    X(byte_to_real_OUT) \
    X(word_to_real_OUT) \
    X(dword_to_real_OUT) \
    X(real_to_sint_OUT) \
    X(real_to_int_OUT) \
    X(real_to_dint_OUT) \
    X(real_to_byte_OUT) \
    X(real_to_word_OUT) \
    X(real_to_dword_OUT) \
    X(trunc_real_to_sint_OUT) \
    X(trunc_real_to_int_OUT) \
    X(trunc_real_to_dint_OUT) \
    X(byte_to_word_OUT) \
    X(byte_to_dword_OUT) \
    X(word_to_dword_OUT) \
    X(word_to_byte_OUT) \
    X(dword_to_byte_OUT) \
    X(dword_to_word_OUT) \
    X(sint_to_byte_OUT) \
    X(sint_to_word_OUT) \
    X(sint_to_dword_OUT) \
    X(int_to_byte_OUT) \
    X(int_to_word_OUT) \
    X(int_to_dword_OUT) \
    X(dint_to_byte_OUT) \
    X(dint_to_word_OUT) \
    X(dint_to_dword_OUT) \
    X(byte_to_sint_OUT) \
    X(byte_to_int_OUT) \
    X(byte_to_dint_OUT) \
    X(word_to_sint_OUT) \
    X(word_to_int_OUT) \
    X(word_to_dint_OUT) \
    X(dword_to_sint_OUT) \
    X(dword_to_int_OUT) \
    X(dword_to_dint_OUT) \
    X(bool_to_byte_OUT) \
    X(bool_to_word_OUT) \
    X(bool_to_dword_OUT) \
    X(bool_to_sint_OUT) \
    X(bool_to_int_OUT) \
    X(bool_to_dint_OUT) \
    X(bool_to_real_OUT) \
    X(byte_to_bool_OUT) \
    X(word_to_bool_OUT) \
    X(dword_to_bool_OUT) \
    X(sint_to_bool_OUT) \
    X(int_to_bool_OUT) \
    X(dint_to_bool_OUT) \
    X(real_to_bool_OUT) \
    X(byte_BCD_to_sint_OUT) \
    X(word_BCD_to_int_OUT) \
    X(dword_BCD_to_dint_OUT) \
    X(sint_to_BCD_byte_OUT) \
    X(int_to_BCD_word_OUT) \
    X(dint_to_BCD_dword_OUT)

/* String functions and the conversions to and from STRING (23). */
#define QV_STRING_FUNCTIONS(X) \
    X(len_OUT) \
    X(left_OUT) \
    X(right_OUT) \
    X(mid_OUT) \
    X(concat_OUT) \
    X(insert_OUT) \
    X(delete_OUT) \
    X(replace_OUT) \
    X(find_OUT) \
    X(byte_to_string_OUT) \
    X(word_to_string_OUT) \
    X(dword_to_string_OUT) \
    X(sint_to_string_OUT) \
    X(int_to_string_OUT) \
    X(dint_to_string_OUT) \
    X(real_to_string_OUT) \
    X(string_to_byte_OUT) \
    X(string_to_word_OUT) \
    X(string_to_dword_OUT) \
    X(string_to_sint_OUT) \
    X(string_to_int_OUT) \
    X(string_to_dint_OUT) \
    X(string_to_real_OUT)

/* Function blocks: edge detectors, bistables, counters, timers (35). */
#define QV_FUNCTION_BLOCK_FUNCTIONS(X) \
    X(r_trig_Q) \
    X(f_trig_Q) \
    X(rs_Q1) \
    X(sr_Q1) \
    X(ctu_Q) \
    X(ctu_CV) \
    X(ctd_Q) \
    X(ctd_CV) \
    X(ctud_QU) \
    X(ctud_QD) \
    X(ctud_CV) \
    X(tp_sec_Q) \
    X(tp_sec_CV) \
    X(tp_cs_Q) \
    X(tp_cs_CV) \
    X(tp_ms_Q) \
    X(tp_ms_CV) \
    X(tp_Q) \
    X(tp_CV) \
    X(ton_sec_Q) \
    X(ton_sec_CV) \
    X(ton_cs_Q) \
    X(ton_cs_CV) \
    X(ton_ms_Q) \
    X(ton_ms_CV) \
    X(ton_Q) \
    X(ton_CV) \
    X(tof_sec_Q) \
    X(tof_sec_CV) \
    X(tof_cs_Q) \
    X(tof_cs_CV) \
    X(tof_ms_Q) \
    X(tof_ms_CV) \
    X(tof_Q) \
    X(tof_CV)

#define QV_LIBRARY_FUNCTIONS(X) \
    QV_BIT_STRING_FUNCTIONS(X) \
    QV_SELECTION_FUNCTIONS(X) \
    QV_COMPARISON_FUNCTIONS(X) \
    QV_ARITHMETIC_FUNCTIONS(X) \
    QV_NUMERIC_FUNCTIONS(X) \
    QV_TIME_ARITHMETIC_FUNCTIONS(X) \
    QV_NUMERIC_CONVERSION_FUNCTIONS(X) \
    QV_STRING_FUNCTIONS(X) \
    QV_FUNCTION_BLOCK_FUNCTIONS(X)

#define QV_LIBRARY_FUNCTION_COUNT 376

#endif /* QV_FUNCTION_NAMES_H */
