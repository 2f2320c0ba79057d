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

#include <algorithm>
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

namespace {

QByteArray classIdOf(GsfInfile* storage) {
    guint8 id[16] = {};
    if (!GSF_IS_INFILE_MSOLE(storage) ||
        !gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(storage), id))
        return {};
    if (std::all_of(std::begin(id), std::end(id), [](guint8 b) { return b == 0; })) return {};
    return QByteArray(reinterpret_cast<const char*>(id), sizeof id);
}

// Adds what @p storage holds to @p entries, below @p prefix; an error text, or empty.
QString readStorage(GsfInfile* storage, const QString& prefix, Streams& entries) {
    const int count = gsf_infile_num_children(storage);
    for (int i = 0; i < count; ++i) {
        GsfPtr<GsfInput> child(gsf_infile_child_by_index(storage, i));
        const char* name = gsf_infile_name_by_index(storage, i);
        if (!child || name == nullptr) {
            return QStringLiteral("directory entry %1 of \"%2\" cannot be opened")
                .arg(i)
                .arg(prefix);
        }
        const QString path = prefix + QString::fromUtf8(name);
        if (GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0) {
            entries.push_back({path, {}, true, classIdOf(GSF_INFILE(child.get()))});
            if (QString why = readStorage(GSF_INFILE(child.get()), path + u'/', entries);
                !why.isEmpty()) {
                return why;
            }
            continue;
        }
        const gsf_off_t size = gsf_input_size(child.get());
        QByteArray data;
        data.resize(static_cast<qsizetype>(size));
        if (size > 0 && gsf_input_read(child.get(), static_cast<size_t>(size),
                                       reinterpret_cast<guint8*>(data.data())) == nullptr) {
            return QStringLiteral("stream \"%1\" is cut short").arg(path);
        }
        entries.push_back({path, std::move(data), false, {}});
    }
    return {};
}

bool setClassId(GsfOutfile* storage, const QByteArray& id) {
    return id.size() != 16 ||
           gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(storage),
                                          reinterpret_cast<const guint8*>(id.constData()));
}

}  // namespace

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
    Streams entries;
    if (QByteArray root = classIdOf(infile.get()); !root.isEmpty()) {
        entries.push_back({{}, {}, true, root});
    }
    if (QString why = readStorage(infile.get(), {}, entries); !why.isEmpty()) {
        return {std::nullopt, why};
    }
    return {std::move(entries), {}};
}

std::optional<QByteArray> writeCompoundFile(const Streams& streams) {
    initGsf();
    GsfPtr<GsfOutput> sink(gsf_output_memory_new());
    {
        GsfPtr<GsfOutfile> root(gsf_outfile_msole_new(sink.get()));
        if (!root) {
            return std::nullopt;
        }
        // Storages stay open until everything in them is written; the root is the empty path.
        std::vector<std::pair<QString, GsfPtr<GsfOutfile>>> open;
        const auto closeUpTo = [&](const QString& path) {
            while (!open.empty() && !path.startsWith(open.back().first + u'/')) {
                if (!gsf_output_close(GSF_OUTPUT(open.back().second.get()))) return false;
                open.pop_back();
            }
            return true;
        };
        for (const CompoundEntry& entry : streams) {
            if (entry.path.isEmpty()) {
                if (!setClassId(root.get(), entry.classId)) return std::nullopt;
                continue;
            }
            if (!closeUpTo(entry.path)) return std::nullopt;
            GsfOutfile* parent = open.empty() ? root.get() : open.back().second.get();
            const QString name = entry.path.section(u'/', -1);
            GsfPtr<GsfOutput> child(gsf_outfile_new_child(parent, name.toUtf8().constData(),
                                                          entry.storage ? TRUE : FALSE));
            if (!child) return std::nullopt;
            if (entry.storage) {
                if (!setClassId(GSF_OUTFILE(child.get()), entry.classId)) return std::nullopt;
                open.emplace_back(entry.path, GsfPtr<GsfOutfile>(GSF_OUTFILE(child.release())));
                continue;
            }
            if (!gsf_output_write(child.get(), static_cast<size_t>(entry.data.size()),
                                  reinterpret_cast<const guint8*>(entry.data.constData())) ||
                !gsf_output_close(child.get())) {
                return std::nullopt;
            }
        }
        if (!closeUpTo({}) || !gsf_output_close(GSF_OUTPUT(root.get()))) {
            return std::nullopt;
        }
    }
    auto* memory = GSF_OUTPUT_MEMORY(sink.get());
    const gsf_off_t size = gsf_output_size(sink.get());
    return QByteArray(reinterpret_cast<const char*>(gsf_output_memory_get_bytes(memory)),
                      static_cast<qsizetype>(size));
}

}  // namespace telvane::office
