#include "office/CompoundFile.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include <memory>
#include <mutex>

namespace telvane::office {
namespace {

void initGsf() {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

struct GObjectUnref {
    void operator()(void* object) const {
        if (object != nullptr) {
            g_object_unref(object);
        }
    }
};
template <typename T>
using GsfPtr = std::unique_ptr<T, GObjectUnref>;

// The signature of every compound file (MS-CFB 2.2).
constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

}  // namespace

bool looksLikeCompoundFile(const QByteArray& bytes) {
    return bytes.size() >= 512 &&
           std::equal(std::begin(kSignature), std::end(kSignature),
                      reinterpret_cast<const unsigned char*>(bytes.constData()));
}

CompoundReadResult readCompoundFile(const QByteArray& bytes) {
    if (!looksLikeCompoundFile(bytes)) {
        return {std::nullopt, QStringLiteral("no compound-file signature at offset 0")};
    }
    initGsf();
    GsfPtr<GsfInput> input(gsf_input_memory_new(reinterpret_cast<const guint8*>(bytes.constData()),
                                                bytes.size(), FALSE));
    GError* gerror = nullptr;
    GsfPtr<GsfInfile> infile(gsf_infile_msole_new(input.get(), &gerror));
    if (!infile) {
        QString why = gerror != nullptr ? QString::fromUtf8(gerror->message)
                                        : QStringLiteral("unreadable compound file");
        if (gerror != nullptr) {
            g_error_free(gerror);
        }
        return {std::nullopt, why};
    }
    Streams streams;
    const int count = gsf_infile_num_children(infile.get());
    for (int i = 0; i < count; ++i) {
        GsfPtr<GsfInput> child(gsf_infile_child_by_index(infile.get(), i));
        const char* name = gsf_infile_name_by_index(infile.get(), i);
        if (!child || name == nullptr) {
            return {std::nullopt, QStringLiteral("directory entry %1 cannot be opened").arg(i)};
        }
        // Storages (folders) are not needed by the writers; only streams are kept.
        if (GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0) {
            continue;
        }
        const gsf_off_t size = gsf_input_size(child.get());
        QByteArray data;
        data.resize(static_cast<qsizetype>(size));
        if (size > 0 && gsf_input_read(child.get(), static_cast<size_t>(size),
                                       reinterpret_cast<guint8*>(data.data())) == nullptr) {
            return {std::nullopt,
                    QStringLiteral("stream \"%1\" is cut short").arg(QString::fromUtf8(name))};
        }
        streams.emplace_back(QString::fromUtf8(name), std::move(data));
    }
    return {std::move(streams), {}};
}

std::optional<QByteArray> writeCompoundFile(const Streams& streams) {
    initGsf();
    GsfPtr<GsfOutput> sink(gsf_output_memory_new());
    {
        GsfPtr<GsfOutfile> outfile(gsf_outfile_msole_new(sink.get()));
        if (!outfile) {
            return std::nullopt;
        }
        for (const auto& [name, data] : streams) {
            GsfPtr<GsfOutput> child(
                gsf_outfile_new_child(outfile.get(), name.toUtf8().constData(), FALSE));
            if (!child ||
                !gsf_output_write(child.get(), static_cast<size_t>(data.size()),
                                  reinterpret_cast<const guint8*>(data.constData())) ||
                !gsf_output_close(child.get())) {
                return std::nullopt;
            }
        }
        if (!gsf_output_close(GSF_OUTPUT(outfile.get()))) {
            return std::nullopt;
        }
    }
    auto* memory = GSF_OUTPUT_MEMORY(sink.get());
    const gsf_off_t size = gsf_output_size(sink.get());
    return QByteArray(reinterpret_cast<const char*>(gsf_output_memory_get_bytes(memory)),
                      static_cast<qsizetype>(size));
}

}  // namespace telvane::office
