#include "app/form1.h"

void Form1::Command1_Click() {}
void Form1::Timer1_Timer() {}
void Form1::Text1_Change() {}
void Form1::HScroll1_Change() {}
void Form1::jl() {}
void Form1::jx() {}
