// Runs the program's entry point on the simulated computer.
#include <windows.h>

#include "device_model.h"

extern "C" int wmain(int argc, wchar_t** argv);
extern "C" void __real_free(void* block);

namespace sim {

int run_program(const std::vector<std::string>& args) {
    std::vector<std::u16string> wide_args;
    for (const std::string& arg : args) wide_args.push_back(utf8_to_utf16(arg));
    return run_program_utf16(wide_args);
}

int run_program_utf16(const std::vector<std::u16string>& args) {
    std::vector<std::u16string> texts;
    texts.push_back(u"morvik-helper.exe");
    texts.insert(texts.end(), args.begin(), args.end());
    std::vector<wchar_t*> argv;
    for (std::u16string& text : texts) argv.push_back(reinterpret_cast<wchar_t*>(text.data()));
    argv.push_back(nullptr);
    Computer& pc = computer();
    pc.allocation_count = 0;
    pc.program_blocks.clear();
    pc.program_running = true;
    int code;
    try {
        code = wmain(static_cast<int>(texts.size()), argv.data());
        // The program returned: what it still holds of its heap it forgot to
        // free. A real process end would hide that; the audit names it.
        for (const auto& [block, size] : pc.program_blocks) {
            // A thread still running may still use what it holds.
            if (!block_held_by_running_thread(block, size)) {
                track(block, ResourceKind::heap_block, "of " + std::to_string(size) + " bytes");
            }
            __real_free(block);
        }
    } catch (const ProcessExit& exit) {
        // The end of the process gives its heap back, the system's
        // buffers included.
        for (const auto& [block, size] : pc.program_blocks) __real_free(block);
        std::vector<const void*> buffers;
        for (const auto& [resource, what] : pc.open_resources) {
            if (what.kind == ResourceKind::local_memory) buffers.push_back(resource);
        }
        for (const void* buffer : buffers) LocalFree(const_cast<void*>(buffer));
        code = static_cast<int>(exit.code);
    }
    // The end of the process closes its handles: reads still pending never
    // again touch the program's memory.
    drop_all_device_reads();
    pc.program_running = false;
    pc.program_blocks.clear();
    pc.thread_blocks.clear();
    return code;
}

}  // namespace sim
