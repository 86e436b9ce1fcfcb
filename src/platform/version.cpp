namespace tamlorex {
const char* Version() { return "0.1"; }
}
