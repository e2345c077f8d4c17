// One machine tool's settings and run-time transfer state.
//
// The configuration fields mirror the keys of the machine's section in
// DNC.ini (see settings_io.h for the loader and writer). The run-time fields
// are shared between the UI thread, the machine's send worker and the serial
// line's event thread:
//   - every flag or counter that another thread reads is a std::atomic;
//   - texts are owned by one thread at a time (see the comment on each), or
//     guarded by `text_mutex` where two threads touch them.
// Configuration fields change only on the UI thread while no transfer runs.
#pragma once

#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

namespace dnc {

// Translation table indexed by character code (see comm/tape_code.h).
using trans_array = std::array<std::uint8_t, 256>;

// Tape codes of the serial line.
enum PunchFormat : int { PunchAscii = 1, PunchOther = 2, PunchIso = 3 };

// Flow control modes. 3, 5 and 6 are only reached through scripts or
// hand-edited files; the settings dialog stores 0, 1, 2 and 4.
enum CommHandshake : int {
    HandshakeXonXoff = 0,
    HandshakeNone = 1,
    HandshakeHwXonXoff = 2,
    HandshakeDtrDsrMode3 = 3,
    HandshakeRtsCts = 4,
    HandshakeMode5 = 5,
    HandshakeMode6 = 6,
};

// End of block sent after each line. 3 (CR alone) is accepted by the sender.
enum EobType : int { EobCrLf = 0, EobLfCrCr = 1, EobLf = 2, EobCr = 3 };

// Kind of program a machine exchanges.
enum FileType : int { FileNormal = 0, FileBinary = 1, FileMazatrol = 2, FileMazatrolT1 = 3 };

// Request state of auto-serve.
enum RequestState : int {
    RequestNone = 0,
    RequestRemoteReceive = 3,
    RequestGet = 101,
    RequestSave = 102,
    RequestReset = 103,
    RequestAutoSave = 104,
};

// Script kinds; the kind indexes `compiled` (index 0 unused).
enum ScriptKind : int {
    ScriptInputLine = 1,
    ScriptOutputLine = 2,
    ScriptSendButton = 3,
    ScriptReceiveButton = 4,
};

struct MachineSettingsRecord {
    MachineSettingsRecord()
    {
        trans_chars_out.fill(0);
        trans_chars_in.fill(0);
    }
    MachineSettingsRecord(const MachineSettingsRecord &) = delete;
    MachineSettingsRecord &operator=(const MachineSettingsRecord &) = delete;

    // ---- configuration (DNC.ini machine section) ----
    int punch_format = 0;   // PunchFormat
    int comm_handshake = 0; // CommHandshake
    int punch_wait = 0;     // ms after each character (or line)
    int comm_port = 0;      // 1 = COM1
    int comm_baud_rate = 0;
    QChar comm_parity;      // 'E', 'O', 'N' (first letter of the stored text)
    int comm_data_bits = 0; // 7 or 8
    int comm_stop_bits = 0; // 1 or 2
    int EOB_type = 0;       // EobType
    bool WaitForSignalChecked = false;
    bool auto_dnc_flag = false; // auto-serve
    bool SelectStart = false;
    QString BeforeString; // leader (control-string syntax)
    QString AfterString;  // trailer
    QString DefaultExtension;
    QString DefaultReadDirectory;
    QString DefaultSaveDirectory;
    QString EndofReceiveString;
    bool StripComments = false;
    QString StartCommentChar;
    QString EndCommentChar;
    bool StripBlankLines = false;
    bool EndChar34 = false;
    bool EndChar20 = false;
    bool EndSecondPercent = false;
    bool EndOnString = false;
    bool SendChar20 = false;
    bool UseSubprograms = false;
    bool UseLOOP = false;
    QString GetCommand;
    QString SaveCommand;
    QString LogCommand;
    QString ResetCommand;
    QString AutoSaveCommand;
    QString LogProgNumber;
    QString StripChars;
    int MaxLog = 0; // reserved; "MaxLog" is loaded into MAX_LOG
    int send_char_or_line = 0; // 0 by character, 1 by line
    int in_buffer = 0;
    int out_buffer = 0;
    bool FilterFiles = false;
    bool always_init_comm = false;
    QString SendButtonScript;
    QString ReceiveButtonScript;
    QString SendLineScript;
    QString ReceiveLineScript;
    bool AfterReceiveTimer = false;
    int AutoReceiveSeconds = 0;

    // ---- run-time state ----
    std::atomic<bool> punching{false};
    std::atomic<bool> waiting_for_cts_to_punch{false};
    std::array<std::atomic<bool>, 5> compiled{}; // indexed by ScriptKind
    std::atomic<bool> auto_receive_flag{false};
    std::atomic<int> receive_or_send{0}; // RequestState
    std::atomic<bool> first_time_flag{false};
    std::atomic<bool> end_program_flag{false};
    std::atomic<bool> waiting_for_xon_to_punch{false};
    std::atomic<bool> receive_button_flag{false};
    std::atomic<bool> clear_button_flag{false};
    std::atomic<bool> send_button_flag{false};
    std::atomic<bool> first_punch{false};
    std::atomic<bool> looking_for_second_percent_sign{false};
    QString nc_filename; // UI thread
    std::atomic<bool> abort2{false};
    QString translated_strip_chars_string;
    int MAX_LOG = 0; // setting: entries kept in log.nc
    std::atomic<bool> is_doing_binary{false};
    int RenumberStart = 0;     // setting
    int RenumberIncrement = 0; // setting
    bool ExistingOnly = false; // setting
    bool AddSpaces = false;    // setting
    bool IncludeComments = false; // setting
    std::atomic<bool> xon{false};
    std::atomic<bool> direct_file{false};
    std::atomic<int> xon_counter{0};
    QString save_filename; // UI thread
    std::atomic<bool> is_first_line{false};
    std::atomic<bool> is_last_line{false};
    QString global_string1;  // serial event thread: the receive line buffer
    QString global_filename; // guarded by text_mutex
    QString global_machinename; // UI thread
    std::atomic<int> global_end_line{0};
    std::atomic<int> global_loop_count{0};
    std::atomic<int> global_number_of_loops{0};
    QString global_basic_line; // owned by the thread running a line script
    std::atomic<int> global_line_index{0};
    std::atomic<int> global_last_line_counter{0};
    std::atomic<bool> global_ignore_editor_click{false};
    std::atomic<int> global_input_line_number{0};
    std::atomic<bool> global_skip_basic_flag{false};
    QString global_check_xon_str; // reserved
    std::atomic<bool> send_xon_flag{false};
    std::atomic<bool> skip_finish_recieving_flag{false};
    std::atomic<bool> receiving_flag{false};
    std::atomic<bool> exit_loops_flag{false};
    std::atomic<bool> trigger_autosave_flag{false};
    int file_type = 0; // setting: FileType
    std::atomic<bool> binary_abort{false};
    QString backup_directory; // setting
    std::atomic<int> subprogram_number{0};
    std::atomic<int> current_sub_level{0};
    std::array<std::atomic<int>, 5> save_return_line_index{};
    std::atomic<bool> end_on_char_flag{false};
    std::atomic<bool> ok_to_close_flag{false};
    std::atomic<bool> ok_to_save_settings_flag{false};
    std::atomic<bool> memo_modified{false};
    QString sub_file_prefix; // setting
    QString mazak_RXChar_receive_string; // serial event thread
    QString mazak_send_out_string;       // serial event thread
    std::atomic<int> mazak_pA_count{0};
    std::atomic<bool> mazak_current_block_flag{false};
    std::atomic<int> mazak_receive_block_count{0};
    std::atomic<int> mazak_send_block_count{0};
    std::atomic<int> mazak_control_type{0};
    std::atomic<int> global_script_file_counter{0};
    std::atomic<bool> global_script_file_flag{false};
    std::atomic<bool> global_skip_script_load{false};
    std::atomic<bool> RepeatSend{false};
    // LoopTask: the machine's send worker is owned by the engine's machine
    // object (engine/), not by the record.
    std::atomic<bool> punch_thread_run{false};
    std::intptr_t pause_write_flag = 0; // reserved
    QString CharTransFile; // setting
    trans_array trans_chars_out; // setting: translation for sending
    trans_array trans_chars_in;  // setting: translation for receiving
    std::atomic<bool> winsoft_xon_flag{false};

    // Guards the texts that the UI thread and the serial event thread both
    // touch (global_filename).
    mutable std::mutex text_mutex;

    QString filename() const
    {
        std::lock_guard lock(text_mutex);
        return global_filename;
    }
    void set_filename(const QString &name)
    {
        std::lock_guard lock(text_mutex);
        global_filename = name;
    }
};

} // namespace dnc
